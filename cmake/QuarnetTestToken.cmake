# quarnet_test_token(DIR): a SoftHSM2 token for the signing tests, made once at
# configure time in DIR with OpenSC's pkcs11-tool, its keys made inside it, so
# that no private test key ever exists as a file:
#   list-key (id 01)  ECDSA P-256, signs lists; its public half in DIR/list-key.pem
#   code-key (id 02)  RSA 2048, signs the exe
# DIR/softhsm2.conf is what SOFTHSM2_CONF must name, DIR/pin holds the user PIN.
# Sets QUARNET_TEST_TOKEN to DIR, or to nothing (with a warning) when softhsm2 or
# opensc is missing (tools/install-deps), and QUARNET_SOFTHSM_MODULE to the module.
find_program(QUARNET_PKCS11_TOOL pkcs11-tool NO_CMAKE_FIND_ROOT_PATH)
find_program(QUARNET_OPENSSL_COMMAND openssl)
find_file(QUARNET_SOFTHSM_MODULE libsofthsm2.so PATHS /usr/lib/softhsm /usr/lib/x86_64-linux-gnu/softhsm
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)

function(quarnet_test_token dir)
    set(QUARNET_TEST_TOKEN "" PARENT_SCOPE)
    if(NOT QUARNET_PKCS11_TOOL OR NOT QUARNET_SOFTHSM_MODULE)
        message(WARNING "softhsm2 or opensc not found: the token signing tests are left out (tools/install-deps)")
        return()
    endif()
    if(NOT EXISTS "${dir}/list-key.pem")
        file(REMOVE_RECURSE "${dir}")
        file(MAKE_DIRECTORY "${dir}/tokens")
        file(WRITE "${dir}/softhsm2.conf" "directories.tokendir = ${dir}/tokens\nobjectstore.backend = file\nlog.level = ERROR\n")
        string(RANDOM LENGTH 12 pin)
        file(WRITE "${dir}/pin" "${pin}\n")
        # The PINs reach pkcs11-tool through the environment ("env:"), never its command line.
        set(ENV{SOFTHSM2_CONF} "${dir}/softhsm2.conf")
        set(ENV{QUARNET_TEST_PIN} "${pin}")
        string(RANDOM LENGTH 12 so_pin)
        set(ENV{QUARNET_TEST_SO_PIN} "${so_pin}")
        set(tool ${QUARNET_PKCS11_TOOL} --module ${QUARNET_SOFTHSM_MODULE})
        set(login --token-label quarnet-test --login --pin env:QUARNET_TEST_PIN)
        execute_process(
            COMMAND ${tool} --init-token --slot-index 0 --label quarnet-test --so-pin env:QUARNET_TEST_SO_PIN
            COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET ERROR_QUIET)
        foreach(step "--init-pin;--login-type;so;--so-pin;env:QUARNET_TEST_SO_PIN;--new-pin;env:QUARNET_TEST_PIN"
                     "--keypairgen;--key-type;EC:prime256v1;--label;list-key;--id;01"
                     "--keypairgen;--key-type;rsa:2048;--label;code-key;--id;02"
                     "--read-object;--type;pubkey;--id;01;-o;${dir}/list-key.der")
            execute_process(COMMAND ${tool} ${login} ${step} COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET ERROR_QUIET)
        endforeach()
        execute_process(COMMAND ${QUARNET_OPENSSL_COMMAND} pkey -pubin -inform DER -in "${dir}/list-key.der"
                                -out "${dir}/list-key.pem" COMMAND_ERROR_IS_FATAL ANY)
        unset(ENV{QUARNET_TEST_PIN})
        unset(ENV{QUARNET_TEST_SO_PIN})
    endif()
    set(QUARNET_TEST_TOKEN "${dir}" PARENT_SCOPE)
endfunction()
