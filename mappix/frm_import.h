#pragma once

// The import tool's form: it is never shown; its load routine imports the file named on the command
// line, and in a batch every file handed over, into the user's active basket and ends the program.

#include <memory>
#include <string>

#include "core/batch.h"
#include "core/client_session.h"
#include "core/form.h"
#include "core/runtime.h"
#include "core/toolkit.h"

namespace kartiva {

class frmImport : public Form {
 public:
  explicit frmImport(Runtime& runtime) : runtime_(runtime) {}

  void Form_Load();
  [[nodiscard]] ErrorCode ImportFile(const std::string& sFilename, const std::string& sDescription,
                                     std::string& sNewFileName);
  void Unload() override;

 private:
  Runtime& runtime_;
  ClientState client_;  // TKSession and TKError
  std::shared_ptr<ToolkitBasket> TKBasket;
};

// The import tool's words for its batches, in German.
extern const BatchTexts kImportBatchTexts;

// Mappix's run: frmImport with its start-up sequence, which ends the program.
void RunMappix(Runtime& runtime);

}  // namespace kartiva
