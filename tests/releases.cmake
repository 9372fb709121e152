# SPDX-License-Identifier: GPL-3.0-or-later
# The list of releases as packaging/Releases.cmake reads it and writes it out again, run by CTest
# as "cmake -DSOURCE_DIR=... -DWORK_DIR=... -P releases.cmake". With -DREAD=FILE it only reads
# FILE, so that a list the build must refuse can fail in a process of its own.
include(${SOURCE_DIR}/packaging/Releases.cmake)
if(DEFINED READ)
    kestrova_read_releases(${READ})
    return()
endif()

function(expect what got want)
    if(NOT got STREQUAL want)
        message(SEND_ERROR "${what}:\n got: ${got}\nwant: ${want}")
    endif()
endfunction()

# The changelog's dates carry the day of the week, which lintian checks on the newest entry only.
foreach(row
        "a December date|2026-12-06|Sun, 06 Dec 2026"
        "January, counted with the year before|2027-01-10|Sun, 10 Jan 2027"
        "a leap day|2028-02-29|Tue, 29 Feb 2028"
        "the leap day of a century divisible by 400|2000-02-29|Tue, 29 Feb 2000"
        "the day after a leap day|2024-03-01|Fri, 01 Mar 2024"
        "the last day of a year|1999-12-31|Fri, 31 Dec 1999")
    string(REPLACE "|" ";" row "${row}")
    list(GET row 0 what)
    list(GET row 1 date)
    list(GET row 2 want)
    kestrova_debian_date(got ${date})
    expect("${what} (${date})" "${got}" "${want} 00:00:00 +0000")
endforeach()

# Two releases, newest first; a change continued on a second line, with characters that XML
# and CMake lists treat specially.
file(WRITE ${WORK_DIR}/two "# a comment\n\n1.2.0.3 2027-01-10\n"
     "  * Fixed a <tag> & [bracket]; kept\n    the rest.\n  * A second change.\n\n"
     "1.0.0.1 2026-12-06\n  * First release.\n")
kestrova_read_releases(${WORK_DIR}/two)
expect("the version being built" "${KESTROVA_RELEASE_VERSION} ${KESTROVA_RELEASE_DATE}"
       "1.2.0.3 2027-01-10")
kestrova_write_debian_changelog(${WORK_DIR}/changelog kestrova "A Maintainer <a@example.org>")
file(READ ${WORK_DIR}/changelog got)
expect("the Debian changelog" "${got}" "kestrova (1.2.0.3) unstable; urgency=medium

  * Fixed a <tag> & [bracket]; kept
    the rest.
  * A second change.

 -- A Maintainer <a@example.org>  Sun, 10 Jan 2027 00:00:00 +0000

kestrova (1.0.0.1) unstable; urgency=medium

  * First release.

 -- A Maintainer <a@example.org>  Sun, 06 Dec 2026 00:00:00 +0000
")
kestrova_appstream_releases(got "")
expect("the AppStream releases" "${got}" "<release version=\"1.2.0.3\" date=\"2027-01-10\">
  <description>
    <ul>
      <li>Fixed a &lt;tag&gt; &amp; [bracket]; kept the rest.</li>
      <li>A second change.</li>
    </ul>
  </description>
</release>
<release version=\"1.0.0.1\" date=\"2026-12-06\">
  <description>
    <ul>
      <li>First release.</li>
    </ul>
  </description>
</release>")

# Lists the build refuses, each with the message that says why.
foreach(row
        "a version of three parts|1.0.2 2027-01-10\n  * A change.|neither"
        "a date that does not exist|1.0.0.2 2027-02-29\n  * A change.|is not a date"
        "a release without changes|1.0.0.2 2027-01-10\n|lists no change"
        "a change without its bullet|1.0.0.2 2027-01-10\n    A change.|first change starts"
        "changes before any release|  * A change.\n1.0.0.2 2027-01-10|neither"
        "no release at all|# only a comment\n|names no release")
    string(REPLACE "|" ";" row "${row}")
    list(GET row 0 what)
    list(GET row 1 text)
    list(GET row 2 reason)
    file(WRITE ${WORK_DIR}/refused "${text}\n")
    execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${SOURCE_DIR} -DREAD=${WORK_DIR}/refused
                            -P ${CMAKE_CURRENT_LIST_FILE}
                    RESULT_VARIABLE status ERROR_VARIABLE error OUTPUT_QUIET)
    # CMake wraps its messages at a width that depends on the path's length.
    string(REGEX REPLACE "[ \t\r\n]+" " " error "${error}")
    if(status EQUAL 0)
        message(SEND_ERROR "${what}: accepted")
    elseif(NOT error MATCHES "${reason}")
        message(SEND_ERROR "${what}: refused without saying \"${reason}\":\n${error}")
    endif()
endforeach()
