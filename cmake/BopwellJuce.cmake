# JUCE from Debian, compiled once into its own static library. Its module sources are INTERFACE
# sources in JUCE's CMake API, so anything that linked the modules directly would compile them
# again; linking them PRIVATE here and re-exporting only the include paths and definitions keeps
# one copy for the product library, the CLI, the tests and the benchmarks.
find_package(JUCE 7.0.5 CONFIG REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

# Debian's JUCE leaves the codec and image libraries out of its module sources.
pkg_check_modules(BOPWELL_SYSTEM_CODECS REQUIRED IMPORTED_TARGET
  flac vorbis vorbisfile vorbisenc ogg libpng libjpeg zlib)

add_library(bopwell_juce STATIC)
target_link_libraries(bopwell_juce
  PRIVATE
    juce::juce_audio_utils
    juce::juce_audio_processors
    juce::juce_audio_devices
    juce::juce_audio_formats
    juce::juce_gui_extra
  PUBLIC
    juce::juce_recommended_config_flags
    juce::juce_recommended_lto_flags
    PkgConfig::BOPWELL_SYSTEM_CODECS
    Threads::Threads)

target_compile_definitions(bopwell_juce
  PUBLIC
    JUCE_WEB_BROWSER=0
    JUCE_USE_CURL=0
    JUCE_USE_MP3AUDIOFORMAT=1
    JUCE_JACK=1
    JUCE_ALSA=1
    JUCE_DISPLAY_SPLASH_SCREEN=0
    JUCE_REPORT_APP_USAGE=0
    JUCE_STANDALONE_APPLICATION=1
    JUCE_MODAL_LOOPS_PERMITTED=1
  INTERFACE
    $<TARGET_PROPERTY:bopwell_juce,COMPILE_DEFINITIONS>)

target_include_directories(bopwell_juce SYSTEM
  INTERFACE $<TARGET_PROPERTY:bopwell_juce,INCLUDE_DIRECTORIES>)

# The module sources do not build warning-free under our flags; they are not ours to change.
set_target_properties(bopwell_juce PROPERTIES POSITION_INDEPENDENT_CODE ON)
