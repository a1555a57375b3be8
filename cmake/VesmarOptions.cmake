# One interface target that every library, program, test and benchmark links:
# the language standard, the warnings, and the rule that every string literal
# becomes a QString only on purpose. Warnings become errors through CMake's
# own CMAKE_COMPILE_WARNING_AS_ERROR (the presets release and widgets-off set
# it; `cmake --compile-no-warning-as-error` turns it off for one configure).
add_library(vesmar_options INTERFACE)
target_compile_features(vesmar_options INTERFACE cxx_std_20)
target_compile_options(vesmar_options INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(vesmar_options INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)

if(VESMAR_FUZZ)
    # Every library is instrumented for coverage; only the targets link the
    # fuzzer's own main.
    target_compile_options(vesmar_options INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    target_link_options(vesmar_options INTERFACE -fsanitize=address,undefined)
elseif(VESMAR_SANITIZE)
    target_compile_options(vesmar_options INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(vesmar_options INTERFACE -fsanitize=address,undefined)
endif()
