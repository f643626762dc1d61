# Warnings everywhere; the build is warning-free.
add_compile_options(-Wall -Wextra)

if(OV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # No runtime DLLs beside the system's own.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
endif()

# Code that goes into the stub: no exceptions, no RTTI, and in the 32-bit
# build optimised for size with unused sections dropped.
function(ov_stub_code target)
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
  if(OV_STUB_ONLY)
    target_compile_options(${target} PRIVATE -Os -ffunction-sections -fdata-sections)
  endif()
endfunction()
