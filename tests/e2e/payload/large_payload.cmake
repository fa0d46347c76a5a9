# Writes a deterministic component stand-in of SIZE bytes (a whole number of 64-byte lines, each
# numbered so that a misplaced chunk shows) to OUT.
#   cmake -DOUT=<file> -DSIZE=<bytes> -P large_payload.cmake
math(EXPR lines "${SIZE} / 64")
set(text "")
foreach(n RANGE 1 ${lines})
  string(LENGTH "${n}" digits)
  math(EXPR pad "8 - ${digits}")
  string(REPEAT "0" ${pad} zeros)
  # 37 + 8 + 18 + 1 = 64 bytes with the line feed
  string(APPEND text "Quillmarsh end-to-end large payload, ${zeros}${n} .................\n")
endforeach()
file(WRITE "${OUT}" "${text}")
