# The installer pins: one line per installer file name, "NAME SIZE SHA256" (blanks between,
# '#' starts a comment). They are compiled into the build (RundixPins.h): the repair runs an
# installer only when its bytes have the pinned size and SHA-256. A build whose download
# server is not on loopback needs a pin for every catalogue entry.
#
# Also runs as a script, for checking a pins file on its own:
#   cmake -DPINS_FILE=F -DDOWNLOAD_HOST=H -DCATALOGUE_SOURCE=engine/RuntimeCatalogue.cpp
#         [-DOUTPUT=RundixPins.h] -P cmake/RundixPins.cmake

cmake_policy(VERSION 3.25)

# The catalogue's installer file names, read from the catalogue table itself so there is one
# list (a test checks the two agree).
function(rundix_catalogue_file_names source out)
  file(READ "${source}" text)
  string(REGEX MATCHALL "A::k[A-Za-z0-9]+, L\"[^\"]+\"" rows "${text}")
  set(names "")
  foreach(row ${rows})
    string(REGEX REPLACE "^A::k[A-Za-z0-9]+, L\"([^\"]+)\"$" "\\1" name "${row}")
    list(APPEND names "${name}")
  endforeach()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

function(rundix_host_is_loopback host out)
  string(TOLOWER "${host}" h)
  if(h MATCHES "^127\\.[0-9]+\\.[0-9]+\\.[0-9]+$" OR h STREQUAL "localhost" OR h STREQUAL "::1"
     OR h STREQUAL "[::1]")
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# Reads and checks `pins_file`; writes the header `output` when given. Any bad line is a
# configure error naming the file, the line and what is wrong.
function(rundix_read_pins pins_file download_host catalogue_source output)
  if(NOT EXISTS "${pins_file}")
    message(FATAL_ERROR "installer pins: no pins file at ${pins_file}")
  endif()
  # Read whole and split by hand: file(STRINGS) drops blank lines, and the messages name
  # line numbers. A ';' would split a CMake list, so it is kept out of the way first.
  file(READ "${pins_file}" text)
  string(REPLACE "\r" "" text "${text}")
  string(REPLACE ";" "<semicolon>" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(entries "")
  set(seen "")
  set(number 0)
  set(problems "")
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    string(REGEX REPLACE "#.*$" "" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "")
      continue()
    endif()
    string(REGEX REPLACE "[ \t]+" ";" fields "${line}")
    list(LENGTH fields count)
    if(NOT count EQUAL 3)
      list(APPEND problems "line ${number}: expected NAME SIZE SHA256, found ${count} field(s)")
      continue()
    endif()
    list(GET fields 0 name)
    list(GET fields 1 size)
    list(GET fields 2 hash)
    if(NOT size MATCHES "^[0-9]+$" OR size MATCHES "^0[0-9]" OR size STREQUAL "0")
      list(APPEND problems "line ${number}: size \"${size}\" of ${name} is not a positive decimal number")
      continue()
    endif()
    string(LENGTH "${size}" digits)
    if(digits GREATER 15)
      list(APPEND problems "line ${number}: size \"${size}\" of ${name} is too large")
      continue()
    endif()
    if(NOT hash MATCHES "^[0-9A-Fa-f]+$")
      list(APPEND problems "line ${number}: SHA-256 of ${name} has characters that are not hexadecimal")
      continue()
    endif()
    string(LENGTH "${hash}" hash_length)
    if(NOT hash_length EQUAL 64)
      list(APPEND problems "line ${number}: SHA-256 of ${name} has ${hash_length} hexadecimal digits, not 64")
      continue()
    endif()
    if(NOT name MATCHES "^[A-Za-z0-9._+()-]+$")
      list(APPEND problems "line ${number}: file name \"${name}\" must be a bare file name")
      continue()
    endif()
    string(TOLOWER "${name}" key)
    if(key IN_LIST seen)
      list(APPEND problems "line ${number}: ${name} is pinned twice")
      continue()
    endif()
    list(APPEND seen "${key}")
    string(TOLOWER "${hash}" hash)
    string(APPEND entries "    {L\"${name}\", ${size}ULL, \"${hash}\"}, \\\n")
  endforeach()
  if(problems)
    list(JOIN problems "\n  " text)
    message(FATAL_ERROR "installer pins: bad lines in ${pins_file}:\n  ${text}")
  endif()

  rundix_catalogue_file_names("${catalogue_source}" catalogue)
  list(LENGTH catalogue catalogue_count)
  if(catalogue_count EQUAL 0)
    message(FATAL_ERROR "installer pins: no catalogue file names found in ${catalogue_source}")
  endif()
  rundix_host_is_loopback("${download_host}" loopback)
  if(NOT loopback)
    set(missing "")
    foreach(name IN LISTS catalogue)
      string(TOLOWER "${name}" key)
      if(NOT key IN_LIST seen)
        list(APPEND missing "${name}")
      endif()
    endforeach()
    if(missing)
      list(JOIN missing ", " text)
      message(FATAL_ERROR "installer pins: the download server ${download_host} is not on loopback, so every "
                          "catalogue installer needs a pin in ${pins_file}; missing: ${text}")
    endif()
  endif()

  if(output)
    set(names "")
    foreach(name IN LISTS catalogue)
      string(APPEND names "    L\"${name}\", \\\n")
    endforeach()
    file(CONFIGURE OUTPUT "${output}" CONTENT
"// Generated from the installer pins file by cmake/RundixPins.cmake.
#pragma once

// {file name, size in bytes, SHA-256 in lower-case hexadecimal}; a null row ends the list.
#define RUNDIX_INSTALLER_PIN_ROWS \\
  { \\
${entries}    {nullptr, 0ULL, nullptr}, \\
  }
// The catalogue's file names as the pins check saw them.
#define RUNDIX_PINNED_CATALOGUE_NAMES \\
  { \\
${names}  }
" @ONLY)
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT DEFINED OUTPUT)
    set(OUTPUT "")
  endif()
  rundix_read_pins("${PINS_FILE}" "${DOWNLOAD_HOST}" "${CATALOGUE_SOURCE}" "${OUTPUT}")
  message(STATUS "installer pins: ${PINS_FILE} is well formed")
endif()
