# velquin_isa_sources(<target> <isa> <source>...)
#
# Adds sources to <target>, compiled for one instruction-set variant: scalar,
# sse2 (the x86-64 baseline), avx2 or avx512. The one place that knows each
# variant's flags; the variant to run is chosen at run time (src/base/isa.h),
# so no flag here may reach code that runs on every CPU. Never -mfma, never
# -march=native.
function(velquin_isa_sources target isa)
  set(no_fma "")
  set(quiet "")
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC then has no FMA instruction to pick (-ffp-contract=off already
    # forbids contraction). Clang ties AVX-512F to FMA, so there the flag
    # would switch AVX-512 off and only -ffp-contract=off guards.
    set(no_fma -mno-fma)
    # GCC 12's AVX-512 intrinsics start from _mm512_undefined_pd(), which its
    # -Wmaybe-uninitialized misreads.
    set(quiet -Wno-maybe-uninitialized)
  endif()
  if(isa STREQUAL "scalar" OR isa STREQUAL "sse2")
    set(flags "")
  elseif(isa STREQUAL "avx2")
    set(flags -mavx2 ${no_fma})
  elseif(isa STREQUAL "avx512")
    set(flags -mavx512f ${no_fma} ${quiet})
  else()
    message(FATAL_ERROR "velquin_isa_sources: unknown instruction set '${isa}'")
  endif()
  target_sources(${target} PRIVATE ${ARGN})
  set_source_files_properties(${ARGN} PROPERTIES COMPILE_OPTIONS "${flags}")
endfunction()
