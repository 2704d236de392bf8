; The setup program of the configurator for Windows, in Russian: installs for all users under
; Program Files\Вестра, with a Start-menu entry and an uninstaller in the system's list of
; installed programs. It greets, asks for the folder, installs and offers to start the program;
; "/S" installs (and the uninstaller removes) without a question.
; makensis -DVERSION=2.02 -DSTAGE=<folder of the programs> -DICON=<vestra.ico>
;   -DFILES=<the uninstaller's list of Delete lines> -DOUTFILE=<.exe>
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define PRODUCT "Конфигуратор Вестра"
; The product's name stays as it is, quoted after a word that takes the case: the default texts
; would set it bare where Russian needs a genitive ("для установки Конфигуратор Вестра").
!define OF_PROGRAM "программы «${PRODUCT}» ${VERSION}"
!define THE_PROGRAM "программу «${PRODUCT}» ${VERSION}"
!define STATION "Станция Вестра"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vestra"

Name "${PRODUCT} ${VERSION}"
Caption "Установка ${OF_PROGRAM}"
UninstallCaption "Удаление ${OF_PROGRAM}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Вестра"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Mirotan"

!include "MUI2.nsh"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
; "Отмена" asks first: a click by mistake would otherwise end the setup at once.
!define MUI_ABORTWARNING
!define MUI_ABORTWARNING_TEXT "Вы действительно хотите прервать установку ${OF_PROGRAM}?"
!define MUI_UNABORTWARNING
!define MUI_UNABORTWARNING_TEXT "Вы действительно хотите прервать удаление ${OF_PROGRAM}?"

!define MUI_WELCOMEPAGE_TITLE "Вас приветствует мастер установки ${OF_PROGRAM}"
!define MUI_WELCOMEPAGE_TEXT "Мастер установит на этот компьютер ${THE_PROGRAM}.$\r$\n$\r$\n\
  Если конфигуратор запущен, закройте его перед установкой.$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_HEADER_SUBTEXT "Выберите папку для установки ${OF_PROGRAM}."
!define MUI_DIRECTORYPAGE_TEXT_TOP "Мастер установит ${THE_PROGRAM} в указанную папку. Чтобы \
  выбрать другую папку, нажмите кнопку «Обзор...». $_CLICK"
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_PAGE_HEADER_SUBTEXT "Подождите, идёт копирование файлов ${OF_PROGRAM}..."
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "Завершение работы мастера установки ${OF_PROGRAM}"
!define MUI_FINISHPAGE_TEXT "Установка ${OF_PROGRAM} выполнена.$\r$\n$\r$\n\
  Нажмите кнопку «Готово», чтобы закрыть мастер."
!define MUI_FINISHPAGE_TEXT_REBOOT "Для завершения установки ${OF_PROGRAM} необходимо \
  перезагрузить компьютер. Перезагрузить его сейчас?"
!define MUI_FINISHPAGE_RUN "$INSTDIR\vestra.exe"
!define MUI_FINISHPAGE_RUN_TEXT "&Запустить конфигуратор"
!insertmacro MUI_PAGE_FINISH

!define MUI_PAGE_HEADER_TEXT "Удаление ${OF_PROGRAM}"
!define MUI_PAGE_HEADER_SUBTEXT "Удаление ${OF_PROGRAM} с этого компьютера."
!define MUI_UNCONFIRMPAGE_TEXT_TOP "Программа «${PRODUCT}» ${VERSION} будет удалена с этого \
  компьютера. $_CLICK"
!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_PAGE_HEADER_SUBTEXT "Подождите, идёт удаление файлов ${OF_PROGRAM}..."
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"
; The folder dialog of "Обзор...", which no page define reaches.
LangString ^DirBrowseText ${LANG_RUSSIAN} "Укажите папку для установки ${OF_PROGRAM}:"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileDescription" "Установка: ${PRODUCT}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "CompanyName" "Mirotan"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "LegalCopyright" "Mirotan"

Section
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\vestra.exe"
  ; The station's operator window, which runs vestra-cli.exe provision beside it.
  CreateShortcut "$SMPROGRAMS\${STATION}.lnk" "$INSTDIR\vestra-station.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Mirotan"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vestra.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${STATION}.lnk"
  ; Only what the setup program put there: a folder the person chose may hold other files.
  !include "${FILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
