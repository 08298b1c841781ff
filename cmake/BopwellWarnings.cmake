# JUCE's recommended warnings for our own code only (see BopwellJuce.cmake for JUCE itself).
add_library(bopwell_warnings INTERFACE)
target_link_libraries(bopwell_warnings INTERFACE juce::juce_recommended_warning_flags)
target_compile_options(bopwell_warnings INTERFACE -Wshadow -Wnon-virtual-dtor)
