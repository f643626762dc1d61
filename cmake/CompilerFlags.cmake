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

# Code that goes into the stub: no exceptions, no RTTI, unused sections
# dropped; the shipped 32-bit build is optimised for size across the whole
# program, without unwind tables.
function(ov_stub_code target)
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
  if(WIN32)
    target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections)
  endif()
  if(OV_STUB_ONLY)
    target_compile_options(${target} PRIVATE -Os -flto -fno-asynchronous-unwind-tables -fno-unwind-tables)
  endif()
endfunction()
