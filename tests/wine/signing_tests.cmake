# The signed release: a separate build of the product exe with a throwaway certificate, whose exe
# and embedded images must all carry a good SHA-256 Authenticode signature (signing_test.sh). Included
# from tests/wine/CMakeLists.txt, in the top build only.
# It takes this build's second-width images (payload/CMakeLists.txt) instead of building them again.
set(other_images)
if(TARGET ovnvxd_width32)
  set(other_images ${CMAKE_BINARY_DIR}/width32/payload/own)
elseif(TARGET ovnvxd_width64)
  set(other_images ${CMAKE_BINARY_DIR}/width64/payload/own)
endif()
add_test(NAME signing
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/signing_test.sh ${PROJECT_SOURCE_DIR}
                 ${CMAKE_CURRENT_BINARY_DIR}/signing ${CMAKE_GENERATOR} ${CMAKE_TOOLCHAIN_FILE}
                 ${CMAKE_BUILD_TYPE} ${other_images})
# A whole second build: most of it is compiling, and nothing in it uses Wine.
set_tests_properties(signing PROPERTIES TIMEOUT 1200)
