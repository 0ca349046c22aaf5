# quarnet_list_keys(OUTPUT KEYS_FILE MIN_VERSION): writes the header that pins an
# exe's list keys, each as its DER SubjectPublicKeyInfo with its keyid (the
# program checks their form as it compiles), and the oldest version it starts.
#
# KEYS_FILE is a PEM file of one or more "PUBLIC KEY" blocks, each an ECDSA
# P-256 SubjectPublicKeyInfo; empty pins nothing. The openssl command decodes
# the PEM: it is on every machine that builds this (tools/install-deps), and
# the header then holds only the keys' bytes, the same on every build.
find_program(QUARNET_OPENSSL_COMMAND openssl)

function(quarnet_hex_bytes hex result)
    string(REGEX REPLACE "(..)" "0x\\1, " bytes "${hex}")
    string(REGEX REPLACE ", $" "" bytes "${bytes}")
    set(${result} "${bytes}" PARENT_SCOPE)
endfunction()

# Sets `result` to why MIN_VERSION cannot be an exe's minimum, or to nothing: the
# exe's version form is 1 to 4 numbers of 1 to 9 digits, dots between, and a
# minimum needs list keys. One regular expression over the whole text: a ";"
# must not make two list items that each look like a number.
function(quarnet_list_min_version_problem min_version keys_file result)
    set(number "[0-9][0-9]?[0-9]?[0-9]?[0-9]?[0-9]?[0-9]?[0-9]?[0-9]?")
    set(problem "")
    if(NOT min_version STREQUAL "" AND NOT min_version MATCHES "^${number}(\\.${number})?(\\.${number})?(\\.${number})?$")
        string(CONCAT problem "QUARNET_LIST_MIN_VERSION \"${min_version}\" is not 1 to 4 numbers of 1 to 9 "
                              "decimal digits with dots between (for example 4.2)")
    elseif(NOT min_version STREQUAL "" AND keys_file STREQUAL "")
        set(problem "QUARNET_LIST_MIN_VERSION needs QUARNET_LIST_KEYS: the version of an unsigned list proves nothing")
    endif()
    set(${result} "${problem}" PARENT_SCOPE)
endfunction()

function(quarnet_list_keys output keys_file min_version)
    if(ARGC GREATER 3)  # a version with ";" handed on unquoted
        message(FATAL_ERROR "QUARNET_LIST_MIN_VERSION \"${min_version};${ARGN}\" is not a version")
    endif()
    quarnet_list_min_version_problem("${min_version}" "${keys_file}" problem)
    if(problem)
        message(FATAL_ERROR "${problem}")
    endif()

    set(keys "")
    set(count 0)
    if(NOT keys_file STREQUAL "")
        if(NOT EXISTS "${keys_file}" OR IS_DIRECTORY "${keys_file}")
            message(FATAL_ERROR "QUARNET_LIST_KEYS: ${keys_file} is not a file")
        endif()
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${keys_file}")
        file(READ "${keys_file}" pem)
        string(REGEX MATCHALL "-----BEGIN [^-]*-----" headers "${pem}")
        string(REGEX MATCHALL "-----BEGIN PUBLIC KEY-----[^-]*-----END PUBLIC KEY-----" blocks "${pem}")
        list(LENGTH headers header_count)
        list(LENGTH blocks count)
        if(count EQUAL 0 OR NOT count EQUAL header_count)
            message(FATAL_ERROR "QUARNET_LIST_KEYS: ${keys_file} must hold ECDSA P-256 public keys "
                                "(-----BEGIN PUBLIC KEY-----) and nothing else")
        endif()
        if(NOT QUARNET_OPENSSL_COMMAND)
            message(FATAL_ERROR "QUARNET_LIST_KEYS needs the openssl command (tools/install-deps)")
        endif()
        set(scratch "${CMAKE_CURRENT_BINARY_DIR}/list-key")
        set(index 0)
        foreach(block IN LISTS blocks)
            math(EXPR index "${index} + 1")
            file(WRITE "${scratch}.pem" "${block}\n")
            file(REMOVE "${scratch}.der")
            execute_process(COMMAND ${QUARNET_OPENSSL_COMMAND} pkey -pubin -in "${scratch}.pem" -outform DER
                                    -out "${scratch}.der"
                            RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
            set(der "")
            if(NOT failed)
                file(READ "${scratch}.der" der HEX)
            endif()
            # 91 bytes is the size of an uncompressed P-256 key; the build checks the rest of its form.
            string(LENGTH "${der}" length)
            if(NOT length EQUAL 182)
                message(FATAL_ERROR "QUARNET_LIST_KEYS: key ${index} in ${keys_file} is not an ECDSA P-256 "
                                    "public key with an uncompressed point")
            endif()
            file(SHA256 "${scratch}.der" digest)
            string(SUBSTRING "${digest}" 0 16 keyid)
            quarnet_hex_bytes("${der}" der_bytes)
            quarnet_hex_bytes("${keyid}" id_bytes)
            string(APPEND keys "    quarnet::pinned_list_key({${der_bytes}},\n                             {${id_bytes}}),  // keyid ${keyid}\n")
        endforeach()
        file(REMOVE "${scratch}.pem" "${scratch}.der")
    endif()

    file(CONFIGURE OUTPUT "${output}" @ONLY CONTENT [=[
// Written by cmake/QuarnetListKeys.cmake from QUARNET_LIST_KEYS and QUARNET_LIST_MIN_VERSION.
#pragma once

#include <array>
#include <string_view>

#include "platform/list_trust.h"

namespace {

constexpr std::array<quarnet::ListKey, @count@> LIST_KEYS{
@keys@};
constexpr std::string_view LIST_MIN_VERSION = "@min_version@";

}  // namespace
]=])
endfunction()
