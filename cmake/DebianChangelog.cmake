# Writes the Debian changelog of the package from CHANGELOG.md. Each heading
# "## VERSION - YYYY-MM-DD" or "## VERSION - YYYY-MM-DD HH:MM" (UTC; a date
# alone stands for the end of that day) starts an entry, newest first; each
# "- " line of an entry is an item, and its indented lines continue it.
# Backquotes are dropped. The dates come from the file alone, so the output
# is the same in every build. Anything Debian's tools would reject stops the
# build: the newest entry must be VERSION, and each entry must be of a later
# version and time than the one below it.
#
#   cmake -DCHANGELOG=CHANGELOG.md -DOUTPUT=changelog -DPACKAGE=name
#         -DVERSION=x.y.z -DMAINTAINER="Name <mail>" -P DebianChangelog.cmake

cmake_minimum_required(VERSION 3.25)

set(weekdays Sun Mon Tue Wed Thu Fri Sat)
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)

function(fail message)
  message(FATAL_ERROR "${CHANGELOG}:${line_number}: ${message}")
endfunction()

# The date as Debian writes it ("Wed, 09 Dec 2026 23:59:00 +0000").
function(debian_date year month day time out)
  # Day of the week by Sakamoto's method, 0 for Sunday.
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  math(EXPR index "${month} - 1")
  list(GET offsets ${index} offset)
  set(y ${year})
  if(month LESS 3)
    math(EXPR y "${y} - 1")
  endif()
  math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${day}) % 7")
  list(GET weekdays ${weekday} weekday_name)
  list(GET months ${index} month_name)
  if(day LESS 10)
    set(day 0${day})
  endif()
  set(${out} "${weekday_name}, ${day} ${month_name} ${year} ${time}:00 +0000" PARENT_SCOPE)
endfunction()

set(output "")
set(version "")       # of the entry being read
set(items "")         # its lines, as Debian writes them
set(date "")          # its date, as Debian writes it
set(stamp "")         # its date and time as YYYYMMDDHHMM, for comparison

macro(end_entry)
  if(NOT version STREQUAL "")
    if(items STREQUAL "")
      fail("the entry of ${version} lists no change")
    endif()
    string(APPEND output "${PACKAGE} (${version}) unstable; urgency=medium\n\n"
                         "${items}\n -- ${MAINTAINER}  ${date}\n\n")
  endif()
endmacro()

file(READ ${CHANGELOG} text)
string(REPLACE "`" "" text "${text}")
set(line_number 0)
while(NOT text STREQUAL "")
  string(FIND "${text}" "\n" end)
  if(end EQUAL -1)
    set(line "${text}")
    set(text "")
  else()
    string(SUBSTRING "${text}" 0 ${end} line)
    math(EXPR end "${end} + 1")
    string(SUBSTRING "${text}" ${end} -1 text)
  endif()
  math(EXPR line_number "${line_number} + 1")

  if(line MATCHES "^## ")
    end_entry()
    set(newer_version "${version}")
    set(newer_stamp "${stamp}")
    if(NOT line MATCHES "^## ([0-9][0-9A-Za-z.+~]*) - ([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])( ([0-9][0-9]):([0-9][0-9]))?$")
      fail("expected a heading \"## VERSION - YYYY-MM-DD\" or \"## VERSION - YYYY-MM-DD HH:MM\"")
    endif()
    set(version ${CMAKE_MATCH_1})
    set(time 23:59)
    set(hour 23)
    set(minute 59)
    if(CMAKE_MATCH_5)
      set(time ${CMAKE_MATCH_6}:${CMAKE_MATCH_7})
      set(hour ${CMAKE_MATCH_6})
      set(minute ${CMAKE_MATCH_7})
    endif()
    set(stamp ${CMAKE_MATCH_2}${CMAKE_MATCH_3}${CMAKE_MATCH_4}${hour}${minute})
    # Numbers without their leading zeros.
    math(EXPR year "1${CMAKE_MATCH_2} - 10000")
    math(EXPR month "1${CMAKE_MATCH_3} - 100")
    math(EXPR day "1${CMAKE_MATCH_4} - 100")
    math(EXPR hour "1${hour} - 100")
    math(EXPR minute "1${minute} - 100")
    if(month LESS 1 OR month GREATER 12 OR day LESS 1 OR day GREATER 31 OR hour GREATER 23 OR minute GREATER 59)
      fail("no such date or time")
    endif()
    debian_date(${year} ${month} ${day} ${time} date)
    set(items "")
    if(newer_version STREQUAL "")
      if(NOT version STREQUAL VERSION)
        fail("the newest entry is ${version}, the project is at ${VERSION}: add its entry")
      endif()
    elseif(NOT newer_version VERSION_GREATER version)
      fail("${version} is not older than ${newer_version} above it")
    elseif(NOT newer_stamp STRGREATER stamp)
      fail("${version} is not dated before ${newer_version} above it (a date alone is the end of that day: give the older one its time, HH:MM in UTC)")
    endif()
  elseif(version STREQUAL "")
    # The title and introduction before the first entry.
  elseif(line MATCHES "^- (.+)$")
    string(APPEND items "  * ${CMAKE_MATCH_1}\n")
  elseif(line MATCHES "^  +([^ ].*)$" AND NOT items STREQUAL "")
    string(APPEND items "    ${CMAKE_MATCH_1}\n")
  elseif(NOT line MATCHES "^[ \t]*$")
    fail("expected a change (\"- \"), its indented continuation, or a heading")
  endif()
endwhile()
end_entry()
if(output STREQUAL "")
  fail("no entry (\"## VERSION - YYYY-MM-DD\")")
endif()

string(STRIP "${output}" output)
file(WRITE ${OUTPUT} "${output}\n")
