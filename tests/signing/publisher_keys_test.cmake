# The build setting RARIDUZE_PUBLISHER_KEY as CMake reads it: cmake -P this file.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/publisher_keys.cmake)

set(a "RWQ4iYVe/TD4h5jX8MczT9kFJQtTop4tw4tLAf/GpjUbNgQ0vo2SVkrL")
set(b "RWTPzwf5jvc79Rp2P2fn9NqkKRVJHp6oPkwLtsqtpCfA2BnwnGCQ7pGf")
string(REPLACE "RWQ" "RWU" not_ed "${a}")  # another algorithm's two bytes
string(SUBSTRING "${a}" 0 55 short)

# expect(TEXT KEYS ERROR): the keys read from TEXT, and the start of its refusal ("" for none).
function(expect text keys error)
  rariduze_parse_publisher_keys("${text}" got_keys got_error)
  string(FIND "${got_error}" "${error}" error_at)
  if(NOT "${got_keys}" STREQUAL "${keys}" OR
     (error STREQUAL "" AND NOT got_error STREQUAL "") OR NOT error_at EQUAL 0)
    message(SEND_ERROR "\"${text}\": keys \"${got_keys}\", error \"${got_error}\"; "
                       "expected keys \"${keys}\", error \"${error}\"")
  endif()
endfunction()

expect("" "" "")
expect("  " "" "")
expect("${a}" "${a}" "")
expect(" ${a} ;\n${b}\n" "${a};${b}" "")
expect("${a};${b};${a};${b}" "${a};${b};${a};${b}" "")
expect("${a};${b};${a};${b};${a}" "" "it holds 5 keys, more than 4")
expect("${a};" "" "\"\" is not a key line")
expect("${a};;${b}" "" "\"\" is not a key line")
expect("${short}" "" "\"${short}\" is not a key line")
expect("${a}x" "" "\"${a}x\" is not a key line")
expect("${not_ed}" "" "\"${not_ed}\" is not a key line")
expect("${a} ${b}" "" "\"${a} ${b}\" is not a key line")
expect("untrusted comment: minisign public key 87F830FD5E858938" "" "\"untrusted comment")
