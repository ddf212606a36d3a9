// The steps of an extraction between reading the volume and writing the
// file list (extract_files.cpp, extract_checks.cpp).
#pragma once

#include <string>
#include <vector>

#include "diskquarry/extract_plan.h"

// Writes every folder and file under staging/files (volume labels under
// staging/labels), each named safely, and notes each file's host path and
// extracted size in the plan; false, with a message, when the host refused.
bool write_host_tree(QuarryRun& run, ExtractPlan& plan, const std::string& staging);

// Infers what the image does not store of the header (format level, the
// pad option) by rebuilding the image for each choice; the list text of
// the choice that rebuilds it, or of the likeliest, in listText. True when
// the rebuild gives the image's bytes.
bool choose_header(QuarryRun& run, ExtractPlan& plan, std::string& listText);

// One warning for each kind of thing in the image the list cannot say.
void warn_unsayable(QuarryRun& run, const ExtractPlan& plan);

// The warning that the list does not rebuild the image, with where.
void warn_difference(QuarryRun& run, const ExtractPlan& plan, const std::string& listText);
