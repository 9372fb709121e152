# SPDX-License-Identifier: GPL-3.0-or-later
# The list of releases in data/releases is the one source of the project version, the package's
# changelog and the AppStream <releases>. Its form, newest release first:
#
#   1.0.0.2 2027-01-10
#     * What changed, as one item of a Debian changelog, continued on
#       lines indented by four spaces.
#
# Lines starting with # and blank lines are left out.

# kestrova_read_releases(FILE) sets, in the caller's scope:
#   KESTROVA_RELEASE_VERSION, KESTROVA_RELEASE_DATE  the newest release (the version being built)
#   KESTROVA_RELEASE_COUNT                          the number of releases
#   KESTROVA_RELEASE_<i>_VERSION, _DATE, _CHANGES   release i (0 is the newest); _CHANGES holds its
#                                                   item lines as written, each ending in a newline
function(kestrova_read_releases file)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
    file(READ "${file}" text)
    # Lines are cut out one by one rather than as a CMake list, which would split them at any ';'.
    set(count 0)
    set(number 0)
    set(current -1)
    while(NOT text STREQUAL "")
        math(EXPR number "${number} + 1")
        string(FIND "${text}" "\n" end)
        if(end EQUAL -1)
            set(line "${text}")
            set(text "")
        else()
            string(SUBSTRING "${text}" 0 ${end} line)
            math(EXPR end "${end} + 1")
            string(SUBSTRING "${text}" ${end} -1 text)
        endif()
        set(where "${file}:${number}")
        if(line MATCHES "^#" OR line MATCHES "^[ \t]*$")
            continue()
        endif()
        if(line MATCHES "^([0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+) ([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9])$")
            set(current ${count})
            math(EXPR count "${count} + 1")
            set(version_${current} "${CMAKE_MATCH_1}")
            set(date_${current} "${CMAKE_MATCH_2}")
            kestrova_debian_date(valid_date "${date_${current}}")
            set(changes_${current} "")
        elseif(current GREATER_EQUAL 0 AND line MATCHES "^(  \\* |    )[^ ]")
            if(changes_${current} STREQUAL "" AND NOT line MATCHES "^  \\* ")
                message(FATAL_ERROR "${where}: a release's first change starts with \"  * \"")
            endif()
            string(APPEND changes_${current} "${line}\n")
        else()
            message(FATAL_ERROR "${where}: neither \"MAJOR.MINOR.PATCH.REVISION YYYY-MM-DD\" nor "
                                "a change indented as \"  * \" or continued with four spaces: ${line}")
        endif()
    endwhile()
    if(count EQUAL 0)
        message(FATAL_ERROR "${file} names no release")
    endif()
    math(EXPR last "${count} - 1")
    foreach(i RANGE ${last})
        if(changes_${i} STREQUAL "")
            message(FATAL_ERROR "${file}: release ${version_${i}} lists no change")
        endif()
        set(KESTROVA_RELEASE_${i}_VERSION "${version_${i}}" PARENT_SCOPE)
        set(KESTROVA_RELEASE_${i}_DATE "${date_${i}}" PARENT_SCOPE)
        set(KESTROVA_RELEASE_${i}_CHANGES "${changes_${i}}" PARENT_SCOPE)
    endforeach()
    set(KESTROVA_RELEASE_COUNT ${count} PARENT_SCOPE)
    set(KESTROVA_RELEASE_VERSION "${version_0}" PARENT_SCOPE)
    set(KESTROVA_RELEASE_DATE "${date_0}" PARENT_SCOPE)
endfunction()

# kestrova_debian_date(OUT DATE): DATE (YYYY-MM-DD) as a Debian changelog writes it, at midnight
# UTC: "Sun, 06 Dec 2026 00:00:00 +0000".
function(kestrova_debian_date out date)
    string(REGEX MATCH "^([0-9]+)-0?([0-9]+)-0?([0-9]+)$" matched "${date}")
    set(year ${CMAKE_MATCH_1})
    set(month ${CMAKE_MATCH_2})
    set(day ${CMAKE_MATCH_3})
    set(month_days 31 28 31 30 31 30 31 31 30 31 30 31)
    math(EXPR by4 "${year} % 4")
    math(EXPR by100 "${year} % 100")
    math(EXPR by400 "${year} % 400")
    set(leap OFF)
    if((by4 EQUAL 0 AND NOT by100 EQUAL 0) OR by400 EQUAL 0)
        set(leap ON)
    endif()
    if(month GREATER_EQUAL 1 AND month LESS_EQUAL 12)
        math(EXPR index "${month} - 1")
        list(GET month_days ${index} days)
        if(month EQUAL 2 AND leap)
            set(days 29)
        endif()
    endif()
    if(NOT DEFINED days OR day LESS 1 OR day GREATER days)
        message(FATAL_ERROR "The release date ${date} is not a date")
    endif()
    # The day of the week by Sakamoto's method: one offset per month, January and February
    # counted as the end of the year before.
    set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
    set(month_names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    set(day_names Sun Mon Tue Wed Thu Fri Sat)
    list(GET offsets ${index} offset)
    list(GET month_names ${index} month_name)
    set(y ${year})
    if(month LESS 3)
        math(EXPR y "${y} - 1")
    endif()
    math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${day}) % 7")
    list(GET day_names ${weekday} day_name)
    if(day LESS 10)
        set(day "0${day}")
    endif()
    set(${out} "${day_name}, ${day} ${month_name} ${year} 00:00:00 +0000" PARENT_SCOPE)
endfunction()

# kestrova_write_debian_changelog(FILE PACKAGE MAINTAINER): the releases as the changelog of a
# native Debian package, which Debian tools and lintian read.
function(kestrova_write_debian_changelog file package maintainer)
    set(text "")
    math(EXPR last "${KESTROVA_RELEASE_COUNT} - 1")
    foreach(i RANGE ${last})
        kestrova_debian_date(date "${KESTROVA_RELEASE_${i}_DATE}")
        if(i GREATER 0)
            string(APPEND text "\n")
        endif()
        string(APPEND text "${package} (${KESTROVA_RELEASE_${i}_VERSION}) unstable; urgency=medium\n"
                           "\n" "${KESTROVA_RELEASE_${i}_CHANGES}" "\n"
                           " -- ${maintainer}  ${date}\n")
    endforeach()
    # Written only when it changes, so that an unchanged changelog is not compressed again.
    file(WRITE "${file}.new" "${text}")
    configure_file("${file}.new" "${file}" COPYONLY)
    file(REMOVE "${file}.new")
endfunction()

# kestrova_appstream_releases(OUT INDENT): the releases as the <release> elements of an AppStream
# <releases>, each change an item of its description; INDENT starts each line after the first.
function(kestrova_appstream_releases out indent)
    set(xml "")
    math(EXPR last "${KESTROVA_RELEASE_COUNT} - 1")
    foreach(i RANGE ${last})
        set(changes "${KESTROVA_RELEASE_${i}_CHANGES}")
        string(REPLACE "&" "&amp;" changes "${changes}")
        string(REPLACE "<" "&lt;" changes "${changes}")
        string(REPLACE ">" "&gt;" changes "${changes}")
        # One item per change: continuation lines join the line before them.
        string(REPLACE "\n    " " " changes "${changes}")
        string(REGEX REPLACE "  \\* ([^\n]*)\n" "${indent}      <li>\\1</li>\n" items "${changes}")
        if(i GREATER 0)
            string(APPEND xml "\n${indent}")
        endif()
        string(APPEND xml
               "<release version=\"${KESTROVA_RELEASE_${i}_VERSION}\" date=\"${KESTROVA_RELEASE_${i}_DATE}\">\n"
               "${indent}  <description>\n" "${indent}    <ul>\n" "${items}" "${indent}    </ul>\n"
               "${indent}  </description>\n" "${indent}</release>")
    endforeach()
    set(${out} "${xml}" PARENT_SCOPE)
endfunction()
