# SPDX-License-Identifier: GPL-2.0-or-later
# Warnings as errors on our own targets only; system headers stay untouched.
function(kelvo_target_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wshadow
                                           -Wnon-virtual-dtor -Wold-style-cast)
endfunction()
