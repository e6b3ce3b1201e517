// Puts a function of the test's own in place of one that this executable imports from a DLL (its
// import address table entry), so a test sees the calls the product makes to the system; the
// destructor puts the original back. Install and remove on the test thread, with no link open.
#pragma once

#include <windows.h>

namespace quorvel::win32test {

class TImportHook {
  public:
    TImportHook(const char* dll, const char* function, void* replacement);
    ~TImportHook();
    TImportHook(const TImportHook&) = delete;
    TImportHook& operator=(const TImportHook&) = delete;

    // nullptr when the executable does not import the function by name (nothing was replaced).
    void* Original() const { return Saved; }

  private:
    void** Slot = nullptr;
    void* Saved = nullptr;
};

} // namespace quorvel::win32test
