# stb_image as the build uses it: Debian's header with the JPEG decoder's bit reader mended.
#
# Debian's v2.27 lets the count of buffered bits go below zero when a scan runs out of data
# before its last block (a marker cut in, the data was corrupt): the next refill then shifts
# by 32 or more, which is undefined, and decoding goes on with garbage bits. The mends stop a
# read short of the bits it needs: the value reads as zero, as the decoder already does past
# the end of data, and a Huffman code and value longer than what is left fail the image.
#
# The mended copy is written to <build>/stb-mended and put before stb's own folder. Each mend
# must match where it is expected exactly as often as expected: another stb release fails the
# configuration here rather than build unmended.

# Replaces old by new in the named variable, which must hold old exactly `times` times.
# (Parameters, not a list: the texts hold semicolons.)
function(rundix_stb_mend variable old new times)
  set(text "${${variable}}")
  string(LENGTH "${text}" before)
  string(REPLACE "${old}" "${new}" text "${text}")
  string(LENGTH "${text}" after)
  string(LENGTH "${old}" old_length)
  string(LENGTH "${new}" new_length)
  math(EXPR found "(${after} - ${before}) / (${new_length} - ${old_length})")
  if(NOT found EQUAL times)
    message(FATAL_ERROR "stb_image.h: a mend of the JPEG bit reader matched ${found} times, not "
                        "${times}; this stb release needs its mends looked at:\n${old}")
  endif()
  set(${variable} "${text}" PARENT_SCOPE)
endfunction()

function(rundix_mend_stb_image source destination)
  file(READ "${source}" text)
  # extend_receive: the sign and the value of n bits that are not there
  rundix_stb_mend(text
    "   if (j->code_bits < n) stbi__grow_buffer_unsafe(j);\n\n   sgn"
    "   if (j->code_bits < n) stbi__grow_buffer_unsafe(j);\n   if (j->code_bits < n) return 0;\n\n   sgn"
    1)
  # get_bits
  rundix_stb_mend(text
    "   if (j->code_bits < n) stbi__grow_buffer_unsafe(j);\n   k = stbi_lrot"
    "   if (j->code_bits < n) stbi__grow_buffer_unsafe(j);\n   if (j->code_bits < n) return 0;\n   k = stbi_lrot"
    1)
  # get_bit
  rundix_stb_mend(text
    "   if (j->code_bits < 1) stbi__grow_buffer_unsafe(j);\n   k = j->code_buffer;"
    "   if (j->code_bits < 1) stbi__grow_buffer_unsafe(j);\n   if (j->code_bits < 1) return 0;\n   k = j->code_buffer;"
    1)
  # the fast AC paths of baseline and progressive blocks: a code and value longer than what is left
  rundix_stb_mend(text
    "s = r & 15; // combined length\n"
    "s = r & 15; // combined length\n if (s > j->code_bits) return stbi__err(\"bad huffman code\",\"Corrupt JPEG\");\n"
    2)
  file(WRITE "${destination}.tmp" "${text}")
  file(COPY_FILE "${destination}.tmp" "${destination}" ONLY_IF_DIFFERENT)
  file(REMOVE "${destination}.tmp")
endfunction()
