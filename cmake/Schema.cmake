# A store's schema (schema/STORE.sql) and its numbered upgrades (schema/STORE/NNN-what.sql).
# Version 1 is the schema as first shipped; the script numbered NNN takes a database of
# version NNN-1 to NNN, and the schema's version is the last script's number.
#
#   quilldata_schema(STORE VAR)
#
# sets VAR to the version, VAR_COUNT to the number of upgrades, and VAR_UPGRADES to them as
# C++ initializers, {NNN, R"quilldata_sql(...)quilldata_sql"}, one a line. The texts are
# compiled into the library, so that creating or upgrading a database needs no file at run
# time; adding or editing a script re-runs the configuration.
function(quilldata_schema store var)
  file(GLOB scripts CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/schema/${store}/*.sql)
  list(SORT scripts)
  set(version 1)
  set(texts "")
  foreach(script ${scripts})
    get_filename_component(name ${script} NAME)
    if(NOT name MATCHES "^([0-9][0-9][0-9])-.+\\.sql$")
      message(FATAL_ERROR "schema/${store}/${name}: an upgrade is named NNN-what.sql")
    endif()
    string(REGEX REPLACE "^0+" "" number ${CMAKE_MATCH_1})
    math(EXPR next "${version} + 1")
    if(NOT number EQUAL next)
      message(FATAL_ERROR "schema/${store}/${name}: the next upgrade is number ${next}")
    endif()
    set(version ${number})
    file(READ ${script} text)
    if(text MATCHES "\\)quilldata_sql\"")
      message(FATAL_ERROR "schema/${store}/${name} must not contain the raw-string delimiter")
    endif()
    string(APPEND texts "    {${number}, R\"quilldata_sql(${text})quilldata_sql\"},\n")
  endforeach()
  list(LENGTH scripts count)
  set(${var} ${version} PARENT_SCOPE)
  set(${var}_COUNT ${count} PARENT_SCOPE)
  set(${var}_UPGRADES "${texts}" PARENT_SCOPE)
endfunction()
