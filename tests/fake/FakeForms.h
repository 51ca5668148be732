// The firmware's forms for the host tests, on top of a FakeFirmware: an HII
// database holding package lists a test builds, their strings, and a form
// browser that reads keys as EDK II's does (a read, a wait on WaitForKey, a
// read; its save prompt reads once to flush before it draws), drawing each
// screen as text cells on the fake's screen. Also what the forms tool needs
// beside them: the table's CRC, the console's text mode, and PlatformLang
// "fr-FR"; its events, TPLs and keyboard are the fake firmware's. It takes
// those table entries over while it lives and gives them back when it goes.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/Hii.h"
#include "tests/fake/FakeFirmware.h"

namespace fake {

// One package list: what ExportPackageLists gives, and its strings.
struct FakePackageList {
  std::vector<UINT8> Exported;
  std::map<std::string, std::map<EFI_STRING_ID, std::u16string>> Strings;  // by language, then id
};

// How one form answers the browser's keys.
struct FakeForm {
  unsigned Pages = 1;       // screens Page Down goes through
  bool AsksToSave = false;  // ESC brings up the save prompt
  bool Stubborn = false;    // ignores the tool's ESC and N; any key from a keyboard ends it
  EFI_STATUS Status = EFI_SUCCESS;
  EFI_BROWSER_ACTION_REQUEST Action = kBrowserActionRequestNone;
};

class FakeForms {
 public:
  explicit FakeForms(FakeFirmware &Fw);
  ~FakeForms();
  FakeForms(const FakeForms &) = delete;
  FakeForms &operator=(const FakeForms &) = delete;

  // --- set-up -------------------------------------------------------------
  std::vector<FakePackageList> Lists;  // the database, in order; list N's handle is N + 1
  std::map<EFI_FORM_ID, FakeForm> Forms;  // what SendForm shows; other ids are EFI_NOT_FOUND
  bool HasDatabase = true, HasBrowser = true, HasDisplayEngine = true;
  // Other makers' browsers: one that refuses every SendForm with this status
  // at once, and one that reads only the real keyboard.
  EFI_STATUS Refusal = EFI_SUCCESS;
  bool ReadsKeyboardOnly = false;
  // The configuration routing protocol: each driver's answer to a request,
  // its results returned in pool as firmware does (EFI_NOT_FOUND when unset).
  bool HasRouting = true;
  std::function<EFI_STATUS(const std::u16string &Request, std::u16string *Results)> Extract;
  std::vector<std::u16string> Requests;  // every request ExtractConfig was given
  // The device path of list N's driver handle, end node included; none when absent.
  std::map<size_t, std::vector<UINT8>> DriverPaths;
  // The console's text mode, on a screen a little larger (800x600 for the
  // 100x31 the constructor sets). Its cells are EDK II's 8x19, centred,
  // unless a test draws them otherwise before it sets the mode.
  void SetTextMode(UINTN Columns, UINTN Rows);
  UINTN Columns = 0, Rows = 0;
  UINTN CellWidth = 8, CellHeight = 19;
  bool Centred = true;  // otherwise from the screen's top-left corner

  // --- what happened ------------------------------------------------------
  struct Drawn {
    EFI_FORM_ID Form;
    unsigned Page;
    std::vector<UINT32> Screen;
  };
  std::vector<Drawn> Screens;           // every screen the browser drew
  std::vector<EFI_INPUT_KEY> Delivered;  // every key the tool's input gave the browser
  std::vector<std::string> Faults;       // what EDK II's browser would have done wrong by
  unsigned SendForms = 0;
  bool ConsoleInputIsTheKeyboard() const;  // and the system table's CRC right
  void Draw(EFI_FORM_ID Form, unsigned Page, unsigned Highlight);

  FakeFirmware &Fw;
  EFI_HII_DATABASE_PROTOCOL Database = {};
  EFI_HII_STRING_PROTOCOL Strings = {};
  EFI_FORM_BROWSER2_PROTOCOL Browser = {};
  EFI_HII_CONFIG_ROUTING_PROTOCOL Routing = {};
  int DriverTags[8] = {};  // list N's driver handle is &DriverTags[N]
  int DisplayEngine = 0;
  EFI_SYSTEM_TABLE SavedTable;
  EFI_BOOT_SERVICES SavedBoot;
  EFI_RUNTIME_SERVICES SavedRuntime;
  EFI_SIMPLE_TEXT_OUT_PROTOCOL SavedConOut;
  EFI_LOADED_IMAGE_PROTOCOL SavedImage;
};

}  // namespace fake
