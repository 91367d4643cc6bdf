# Makes mkinstaller's man page from its --help text with help2man, then
# mends what help2man does not know: an option's text starts on the line
# below the option (a short one, --json or --help, would run into its text),
# and "Exit status" becomes a section of its own (help2man makes every
# heading it does not know a subsection of the section before).
#
#   cmake -DHELP2MAN=help2man -DPROGRAM=mkinstaller -DVERSION=1.0.0 -DOUTPUT=mkinstaller.1 -P man_page.cmake
execute_process(
  COMMAND ${HELP2MAN} --no-info --version-string=${VERSION}
          "--name=make self-extracting Windows installers from the orvane stub"
          --output=${OUTPUT} ${PROGRAM}
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "help2man failed on ${PROGRAM}")
endif()
file(READ ${OUTPUT} page)
# An option's paragraph: ".TP", the option in bold ("\fB\-..."), its text.
string(REGEX REPLACE "(\n\\.TP\n\\\\fB\\\\-[^\n]*\n)" "\\1.br\n" page "${page}")
string(REPLACE "\n.SS \"Exit status:\"\n" "\n.SH \"EXIT STATUS\"\n" page "${page}")
file(WRITE ${OUTPUT} "${page}")
