# Warnings as errors for our own code; third-party targets do not use this.
add_library(velmor_warnings INTERFACE)
target_compile_options(velmor_warnings INTERFACE
  -Wall -Wextra -Werror -Wno-missing-field-initializers -Wno-cast-function-type)
