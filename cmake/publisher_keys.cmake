# The publisher's keys a build carries: RARIDUZE_PUBLISHER_KEY holds up to four key lines of
# the signing tool's .pub files (the line after "untrusted comment:"), separated by ";". Two
# let a publisher move to a new key: a release that trusts both is shipped first.

set(RARIDUZE_MAX_PUBLISHER_KEYS 4)

# Reads text into out_keys (the key lines, blanks around each removed) and sets out_error to why
# text is refused (and out_keys to none), or to nothing. An empty item is refused too: a key file that a script failed
# to read must not leave a build with one key fewer than meant.
function(rariduze_parse_publisher_keys text out_keys out_error)
  string(STRIP "${text}" text)
  set(keys)
  set(error)
  if(NOT text STREQUAL "")
    foreach(item IN LISTS text)
      string(STRIP "${item}" item)
      # 42 bytes in base64, 56 characters without padding: "Ed" (so "RW" and one of Q, R, S,
      # T), the key id and the key. What passes here is what the program can read.
      if(NOT item MATCHES "^RW[QRST][A-Za-z0-9+/]+$")
        set(error "\"${item}\" is not a key line")
        break()
      endif()
      string(LENGTH "${item}" length)
      if(NOT length EQUAL 56)
        set(error "\"${item}\" is not a key line")
        break()
      endif()
      list(APPEND keys "${item}")
    endforeach()
    list(LENGTH keys count)
    if(NOT error AND count GREATER RARIDUZE_MAX_PUBLISHER_KEYS)
      set(error "it holds ${count} keys, more than ${RARIDUZE_MAX_PUBLISHER_KEYS}")
    endif()
  endif()
  if(error)
    set(keys)
  endif()
  set(${out_keys} "${keys}" PARENT_SCOPE)
  set(${out_error} "${error}" PARENT_SCOPE)
endfunction()
