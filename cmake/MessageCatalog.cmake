# Builds one language's message catalog from the English string table. Script mode:
#   cmake -DJSON=en.json -DPO=de.po -DPOT=quaylet.pot -DMO=quaylet.mo -DGETTEXT_DIR=/usr/bin
#         -P MessageCatalog.cmake
# Writes the template POT (each key a msgid, its English text as the translators' comment),
# merges PO with it, warns about every key the language does not translate yet (those read in
# English) and compiles the merged catalog to MO.
foreach(variable JSON PO POT MO GETTEXT_DIR)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "MessageCatalog.cmake needs -D${variable}=...")
    endif()
endforeach()

file(READ "${JSON}" json)
string(JSON count LENGTH "${json}")
set(template "# The texts of Quaylet; the message identifiers are the string keys.
msgid \"\"
msgstr \"\"
\"Content-Type: text/plain; charset=UTF-8\\n\"
\"Content-Transfer-Encoding: 8bit\\n\"
")
math(EXPR last "${count} - 1")
foreach(index RANGE ${last})
    string(JSON key MEMBER "${json}" ${index})
    string(JSON english GET "${json}" "${key}")
    string(REPLACE "\\" "\\\\" key_escaped "${key}")
    string(REPLACE "\"" "\\\"" key_escaped "${key_escaped}")
    string(APPEND template "\n#. ${english}\nmsgid \"${key_escaped}\"\nmsgstr \"\"\n")
endforeach()
get_filename_component(language "${PO}" NAME_WE)
# Written aside and renamed, as several languages' builds write the same template.
file(WRITE "${POT}.${language}" "${template}")
set(merged "${MO}.po")
execute_process(
    COMMAND "${GETTEXT_DIR}/msgmerge" --quiet --no-fuzzy-matching --output-file=${merged}
            "${PO}" "${POT}.${language}"
    COMMAND_ERROR_IS_FATAL ANY)
file(RENAME "${POT}.${language}" "${POT}")
execute_process(
    COMMAND "${GETTEXT_DIR}/msgattrib" --untranslated --no-obsolete "${merged}"
    OUTPUT_VARIABLE untranslated COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "\nmsgid \"[^\"\n]+\"" missing "${untranslated}")
if(missing)
    string(REGEX REPLACE "\nmsgid \"([^\"\n]+)\"" "\\1" missing "${missing}")
    list(JOIN missing ", " missing)
    message(WARNING "Not yet translated into '${language}' (shown in English): ${missing}")
endif()
execute_process(
    COMMAND "${GETTEXT_DIR}/msgfmt" --check --output-file=${MO} "${merged}"
    COMMAND_ERROR_IS_FATAL ANY)
