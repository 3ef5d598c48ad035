# The folding table of character variants (platform/text/VariantFolding.h),
# made at build time from the data the distribution installs: OpenCC's
# character tables (libopencc-data, read with libopencc-dev) and the Unihan
# variants (unicode-data). The versions of both packages go into the table.
pkg_check_modules(OPENCC REQUIRED IMPORTED_TARGET opencc)
find_package(BZip2 REQUIRED)
set(ORVANTA_OPENCC_DATA /usr/share/opencc CACHE PATH "Where STCharacters.ocd2 and TSCharacters.ocd2 are")
set(ORVANTA_UNIHAN_VARIANTS /usr/share/unicode/Unihan_Variants.txt.bz2 CACHE FILEPATH "Unihan_Variants.txt.bz2")
foreach(file ${ORVANTA_OPENCC_DATA}/STCharacters.ocd2 ${ORVANTA_OPENCC_DATA}/TSCharacters.ocd2 ${ORVANTA_UNIHAN_VARIANTS})
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "${file} is missing: run scripts/install-deps (libopencc-data, unicode-data)")
  endif()
endforeach()

function(orvanta_package_version package out)
  execute_process(COMMAND dpkg-query -W -f=\${Version} ${package}
    OUTPUT_VARIABLE version ERROR_QUIET RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR version STREQUAL "")
    set(version "unknown")
  endif()
  set(${out} ${version} PARENT_SCOPE)
endfunction()
orvanta_package_version(libopencc-data OPENCC_DATA_VERSION)
orvanta_package_version(unicode-data UNICODE_DATA_VERSION)
set(ORVANTA_VARIANT_VERSIONS
  "OpenCC character tables of libopencc-data ${OPENCC_DATA_VERSION}, Unihan semantic and Z variants of unicode-data ${UNICODE_DATA_VERSION}")

add_executable(VariantTableMaker platform/text/generate/VariantTableMaker.cpp)
target_link_libraries(VariantTableMaker PRIVATE PkgConfig::OPENCC BZip2::BZip2 PkgConfig::ICU)
set(variant_table ${CMAKE_BINARY_DIR}/generated/VariantTable.inc)
add_custom_command(OUTPUT ${variant_table}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND VariantTableMaker ${ORVANTA_OPENCC_DATA}/STCharacters.ocd2 ${ORVANTA_OPENCC_DATA}/TSCharacters.ocd2
          ${ORVANTA_UNIHAN_VARIANTS} "${ORVANTA_VARIANT_VERSIONS}" ${variant_table}
  DEPENDS VariantTableMaker ${ORVANTA_OPENCC_DATA}/STCharacters.ocd2 ${ORVANTA_OPENCC_DATA}/TSCharacters.ocd2
          ${ORVANTA_UNIHAN_VARIANTS}
  COMMENT "Making the table of character variants" VERBATIM)
target_sources(orvanta_text PRIVATE ${variant_table})
target_include_directories(orvanta_text PRIVATE ${CMAKE_BINARY_DIR}/generated)
set_source_files_properties(${variant_table} PROPERTIES HEADER_FILE_ONLY ON)
