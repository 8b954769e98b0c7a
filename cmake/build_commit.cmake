# Run at every build (cmake -P): writes OUTPUT with QM_BUILD_COMMIT, the text the file
# description ends with, so that a bug report names the exact commit that ran. Empty for the
# commit tagged TAG (the release itself) and outside a git checkout.
execute_process(COMMAND git -C "${SOURCE}" rev-parse --short HEAD
                OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
execute_process(COMMAND git -C "${SOURCE}" tag --points-at HEAD --list "${TAG}"
                OUTPUT_VARIABLE tagged OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
set(note "")
if(NOT failed AND commit AND NOT tagged)
  set(note " (commit ${commit})")
endif()
# Written only when it changes, so that an unchanged commit rebuilds nothing.
file(CONFIGURE OUTPUT "${OUTPUT}" CONTENT "#define QM_BUILD_COMMIT \"${note}\"\n")
