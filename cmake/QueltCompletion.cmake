# Writes the bash completion of quelt's long options to OUT, from the option
# table as QUELT --help prints it: options followed by "arg" take a value, and
# after one of those the shell completes file names.
execute_process(COMMAND ${QUELT} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${QUELT} --help failed")
endif()
string(REGEX MATCHALL "\n  --[A-Za-z0-9_-]+( arg)?" entries "${help}")
set(options "")
set(valued "")
foreach(entry ${entries})
  string(REGEX REPLACE "^\n  (--[A-Za-z0-9_-]+).*" "\\1" name "${entry}")
  list(APPEND options ${name})
  if(entry MATCHES " arg$")
    list(APPEND valued ${name})
  endif()
endforeach()
list(JOIN options " " options)
list(JOIN valued "|" valued)
file(WRITE ${OUT} "# bash completion for quelt, generated from quelt --help
_quelt() {
  local cur=\${COMP_WORDS[COMP_CWORD]} prev=\${COMP_WORDS[COMP_CWORD-1]}
  case \$prev in
    ${valued}) return ;;
  esac
  [[ \$cur == -* ]] && COMPREPLY=(\$(compgen -W '${options}' -- \"\$cur\"))
}
complete -o default -F _quelt quelt
")
