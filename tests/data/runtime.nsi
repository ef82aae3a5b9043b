; A stand-in prerequisite setup built with makensis for the tests and the demo.
; Defines: OUT (output file), NAME, VERSION, EXITCODE.
; It writes HKLM\Software\Corvane Test\<NAME> (Version, Silent) and
; <Program Files>\CorvaneTest\<NAME>\installed.txt, then exits with EXITCODE.
Unicode true
RequestExecutionLevel admin
Name "${NAME}"
OutFile "${OUT}"
InstallDir "$PROGRAMFILES\CorvaneTest\${NAME}"
AutoCloseWindow true
ShowInstDetails nevershow

Section
  SetOutPath "$INSTDIR"
  FileOpen $0 "$INSTDIR\installed.txt" w
  FileWrite $0 "${NAME} ${VERSION}$\r$\n"
  FileWrite $0 "command line: $CMDLINE$\r$\n"
  FileClose $0
  WriteRegStr HKLM "Software\Corvane Test\${NAME}" "Version" "${VERSION}"
  IfSilent 0 +3
    WriteRegStr HKLM "Software\Corvane Test\${NAME}" "Silent" "yes"
    Goto +2
  WriteRegStr HKLM "Software\Corvane Test\${NAME}" "Silent" "no"
  SetErrorLevel ${EXITCODE}
SectionEnd
