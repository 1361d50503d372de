#pragma once

// The store tool's form. It is never shown: its load routine puts the command line into the file
// field, checks the client, shows the active basket, fills the archive chooser, stores the file
// (and in a batch every file handed over) with the form's design-time settings and ends the
// program. The reactions of its buttons and
// fields are kept for a window that a user can operate.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/batch.h"
#include "core/client_session.h"
#include "core/controls.h"
#include "core/form.h"
#include "core/runtime.h"
#include "tresolo/module1.h"

namespace kartiva {

// The design-time text of txtIndexString, which stands for "no index string".
inline constexpr std::string_view kIndexPlaceholder = "Please enter an index string here";

class frmStoreDocs : public Form {
 public:
  frmStoreDocs(Runtime& runtime, Module1& module);
  frmStoreDocs(const frmStoreDocs&) = delete;
  frmStoreDocs& operator=(const frmStoreDocs&) = delete;

  // The start-up sequence: one store with the design-time settings, then the program ends.
  void Form_Load();
  // Sets lProceed to kFieldsMissing and shows why when a setting the store needs is missing, else
  // to kFieldsComplete.
  void CheckFields();
  // The store operation; it always ends by unloading the form.
  void cmdStore_Click();

  void cmdFileSelect_Click();
  void cmdLoadIndexExample_Click();
  void optArchive_Click(std::int16_t index);
  void txtFilename_Change();
  void cmdExit_Click();

  // Marks the form unloaded. The toolkit objects are module state and outlive the form.
  void Unload() override;
  bool loaded() const { return loaded_; }

  // The window and its controls with their design-time values.
  std::string caption = "Store Document";
  static constexpr std::int32_t kClientWidth = 5790;
  static constexpr std::int32_t kClientHeight = 8250;

  Frame Frame5{"Active Basket", {120, 240, 5535, 975}};
  Label lblBasket{"lblBasket", {240, 600, 5295, 375}};

  Frame Frame2{"Archive", {120, 1320, 5535, 1335}};
  OptionGroup<2> optArchive{{{
      {"Use active archive", true, {360, 1680, 1815, 375}},
      {"Choose archive", false, {360, 2160, 1935, 375}},
  }}};
  ComboBox cmbArchive{"", {}, {1920, 2160, 3495, 315}};

  Frame Frame3{"File to store", {120, 2760, 5535, 1335}};
  Label Label1{
      "Choose either a *.001 file from the active basket path above or a foreign file from "
      "another location on your system. (e.g. *.doc)",
      {360, 3000, 5055, 495}};
  TextBox txtFilename{"", {480, 3480, 4215, 375}};
  CommandButton cmdFileSelect{"S&elect", {4755, 3480, 615, 375}};

  Frame Frame1{"Store Method", {120, 4200, 5535, 1695}};
  CheckBox chkDelete{
      "Delete document from from basket after storing", kChecked, {480, 4560, 3735, 255}};
  CheckBox chkStoreMethod{"Use Kartiva mask to store", kChecked, {480, 4920, 2415, 255}};
  TextBox txtIndexString{std::string(kIndexPlaceholder), {480, 5280, 3375, 405}};
  CommandButton cmdLoadIndexExample{"Load example", {3960, 5280, 1335, 375}};

  Frame Frame4{"Conversion", {120, 6000, 5535, 855}};
  CheckBox chkConversion{
      "Convert file before storing (for TIF documents only)", kChecked, {480, 6240, 5055, 495}};

  CommandButton cmdStore{"&Store", {1508, 7200, 2775, 375}};
  CommandButton cmdExit{"E&xit", {1508, 7680, 2775, 375}};

  FileDialog CommonDialog1;

  // The outcome of the last CheckFields, under the form's own name, where 1 means "do not go on".
  static constexpr std::int32_t kFieldsMissing = 1;
  static constexpr std::int32_t kFieldsComplete = 0;
  std::int32_t lProceed = kFieldsComplete;

 private:
  // The store operation without the unload: one file of the run.
  void StoreOneFile();
  // Steps of the store operation once the fields have passed the check.
  void StoreDocument();
  // Finds and opens the archive and the basket, once for all the files of a run.
  void OpenTargets();
  std::string ArchiveName();
  std::string IndexString() const;

  Runtime& runtime_;
  Module1& module_;
  bool loaded_ = true;
  std::optional<std::string> sBasket_;  // the basket of the opened targets, once opened
};

// The store tool's words for its batches, in English.
extern const BatchTexts kStoreBatchTexts;

// Runs the store tool: loads its form with fresh module state. Returns only by an exception:
// ProgramEnd when the run is over, OutrightFailure when a call failed outright.
void RunTresolo(Runtime& runtime);

}  // namespace kartiva
