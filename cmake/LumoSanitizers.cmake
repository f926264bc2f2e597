# LUMO_SANITIZE applies to everything compiled in this build (GoogleTest included), so that
# instrumented and uninstrumented code never mix.
if(LUMO_SANITIZE)
    if(WIN32)
        message(FATAL_ERROR "Sanitizer builds are Linux-only")
    endif()
    set(_lumo_san_flags "-fsanitize=${LUMO_SANITIZE}" -fno-omit-frame-pointer -g)
    if(LUMO_SANITIZE MATCHES "undefined")
        list(APPEND _lumo_san_flags -fno-sanitize-recover=undefined)
    endif()
    add_compile_options(${_lumo_san_flags})
    add_link_options("-fsanitize=${LUMO_SANITIZE}")
endif()
