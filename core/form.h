#pragma once

namespace kartiva {

// A program's main form, which the client check closes before it ends the program.
class Form {
 public:
  virtual ~Form() = default;
  virtual void Unload() = 0;
};

}  // namespace kartiva
