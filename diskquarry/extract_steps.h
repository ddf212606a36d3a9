// The steps of an extraction between reading the volume and writing the
// file list (extract_files.cpp, extract_checks.cpp).
#pragma once

#include <string>
#include <vector>

#include "diskquarry/extract_plan.h"

// The host side of an extraction: its staging folder (the entries' host
// names are the plan's).
struct HostTree {
  std::string staging;
  bool labels;             // volume labels go to staging/labels
  std::uint32_t undated;   // files written without a real date
  std::string firstUndated;
};

// Names every entry safely (warning about each name changed) and notes each
// file's host name and length in the plan; touches no host file.
void name_host_tree(QuarryRun& run, ExtractPlan& plan, HostTree& tree);

// Writes the folders and files as named; false, with a message, when the
// host refused. Prints nothing else, so the file list may be checked
// meanwhile.
bool write_host_tree(QuarryRun& run, const ExtractPlan& plan, HostTree& tree);

// The warning about files whose entries have no real date.
void warn_undated(QuarryRun& run, const HostTree& tree);

// Infers what the image does not store of the header (format level, the
// pad option) by rebuilding the image for each choice; the list text of
// the choice that rebuilds it, or of the likeliest, in listText. True when
// the rebuild gives the image's bytes. Prints nothing.
bool choose_header(const QuarryRun& run, ExtractPlan& plan, std::string& listText);

// One warning for each kind of thing in the image the list cannot say.
void warn_unsayable(QuarryRun& run, const ExtractPlan& plan);

// The warning that the list does not rebuild the image, with where.
void warn_difference(QuarryRun& run, const ExtractPlan& plan, const std::string& listText);
