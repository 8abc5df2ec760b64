# cmake -DINPUT=picture.bmp -DOUTPUT=picture.inc -P embed_bitmap.cmake
#
# Writes the bytes of INPUT as a comma-separated list of hexadecimal literals, to be
# included inside the braces of a byte array.
file(READ ${INPUT} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n"
       bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp "// Generated from ${INPUT}; do not edit.\n${bytes}\n")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
