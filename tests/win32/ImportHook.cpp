#include "ImportHook.h"

#include <cstring>

namespace quorvel::win32test {

namespace {

template <typename T> T* At(BYTE* base, DWORD offset) {
    return reinterpret_cast<T*>(base + offset);
}

// The import address table entry of function from dll in this executable; nullptr when absent.
void** FindSlot(const char* dll, const char* function) {
    auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
    const auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    const auto* nt = At<IMAGE_NT_HEADERS>(base, static_cast<DWORD>(dos->e_lfanew));
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return nullptr;
    }
    for (auto* entry = At<IMAGE_IMPORT_DESCRIPTOR>(base, imports.VirtualAddress); entry->Name != 0;
         ++entry) {
        if (::lstrcmpiA(At<char>(base, entry->Name), dll) != 0 || entry->OriginalFirstThunk == 0) {
            continue;
        }
        auto* names = At<IMAGE_THUNK_DATA>(base, entry->OriginalFirstThunk);
        auto* slots = At<IMAGE_THUNK_DATA>(base, entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const auto* byName =
                At<IMAGE_IMPORT_BY_NAME>(base, static_cast<DWORD>(names->u1.AddressOfData));
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) {
                return reinterpret_cast<void**>(&slots->u1.Function);
            }
        }
    }
    return nullptr;
}

void Store(void** slot, void* value) {
    DWORD old = 0;
    if (::VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old)) {
        *slot = value;
        ::VirtualProtect(slot, sizeof(void*), old, &old);
    }
}

} // namespace

TImportHook::TImportHook(const char* dll, const char* function, void* replacement)
    : Slot(FindSlot(dll, function)) {
    if (Slot != nullptr) {
        Saved = *Slot;
        Store(Slot, replacement);
    }
}

TImportHook::~TImportHook() {
    if (Slot != nullptr) {
        Store(Slot, Saved);
    }
}

} // namespace quorvel::win32test
