# The samples and images Bopwell embeds. None of them live in the repository: a generator
# synthesises them on every build, byte for byte the same, and JUCE's binary data turns them
# into the bopwell_assets library (BopwellAssets::getNamedResource ("wax_01_wav") and so on).
add_subdirectory("${PROJECT_SOURCE_DIR}/tools/generate-assets" "${CMAKE_BINARY_DIR}/tools/generate-assets")

set(BOPWELL_GENERATED_ASSETS_DIR "${CMAKE_BINARY_DIR}/assets/generated")

# Each pack's file prefix and sample count, read from the table the product and the generator share.
file(STRINGS "${PROJECT_SOURCE_DIR}/packs/BuiltInPackTable.h" _bopwell_pack_rows
  REGEX "^ *\\{ \"[a-z-]+\", \"[^\"]+\", \"[a-z_]+\", [0-9]+,")
set(_bopwell_sample_packs)
foreach(_row IN LISTS _bopwell_pack_rows)
  string(REGEX REPLACE "^ *\\{ \"[a-z-]+\", \"[^\"]+\", \"([a-z_]+)\", ([0-9]+),.*" "\\1:\\2" _pack "${_row}")
  list(APPEND _bopwell_sample_packs "${_pack}")
endforeach()
list(LENGTH _bopwell_sample_packs _bopwell_pack_count)
if(NOT _bopwell_pack_count EQUAL 9)
  message(FATAL_ERROR "packs/BuiltInPackTable.h: expected 9 pack rows, read ${_bopwell_pack_count}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/packs/BuiltInPackTable.h")

set(_bopwell_assets)
foreach(_pack IN LISTS _bopwell_sample_packs)
  string(REPLACE ":" ";" _pack "${_pack}")
  list(GET _pack 0 _prefix)
  list(GET _pack 1 _count)
  foreach(_number RANGE 1 ${_count})
    if(_number LESS 10)
      set(_number "0${_number}")
    endif()
    list(APPEND _bopwell_assets "${BOPWELL_GENERATED_ASSETS_DIR}/${_prefix}_${_number}.wav")
  endforeach()
endforeach()
foreach(_image volume_crayon.png sensitivity_crayon.png guard_crayon.png sweat_mark.png bopwell_header_burst.svg)
  list(APPEND _bopwell_assets "${BOPWELL_GENERATED_ASSETS_DIR}/${_image}")
endforeach()

add_custom_command(OUTPUT ${_bopwell_assets}
  COMMAND bopwell-generate-assets "${BOPWELL_GENERATED_ASSETS_DIR}"
  DEPENDS bopwell-generate-assets
  COMMENT "Synthesising the built-in samples and images"
  VERBATIM)

# juce_add_binary_data refuses inputs that do not exist yet when CMake configures. Empty
# stand-ins satisfy it; they are older than the generator, so the first build replaces them.
file(MAKE_DIRECTORY "${BOPWELL_GENERATED_ASSETS_DIR}")
foreach(_asset IN LISTS _bopwell_assets)
  if(NOT EXISTS "${_asset}")
    file(TOUCH "${_asset}")
  endif()
endforeach()

juce_add_binary_data(bopwell_assets
  NAMESPACE BopwellAssets
  HEADER_NAME BopwellAssets.h
  SOURCES ${_bopwell_assets})

# juce_add_binary_data only watches the list of its inputs, not their contents; without this a
# change to the generator would leave the old sounds embedded. Its tool leaves unchanged output
# untouched, so the touch marks the embedding as done even when no byte moved.
set(_bopwell_embedded "${CMAKE_CURRENT_BINARY_DIR}/juce_binarydata_bopwell_assets/JuceLibraryCode/BinaryData1.cpp")
add_custom_command(OUTPUT "${_bopwell_embedded}"
  APPEND
  COMMAND "${CMAKE_COMMAND}" -E touch "${_bopwell_embedded}"
  DEPENDS ${_bopwell_assets})

# Linked into the product library, which may end up in a shared plug-in.
set_target_properties(bopwell_assets PROPERTIES POSITION_INDEPENDENT_CODE ON)
