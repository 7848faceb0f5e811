// A DLL that the benchmark loads into a running program: it routes the
// program's KERNEL32 imports of Sleep and of every function named *Console*
// through small thunks that count each call, then jump on to the function.
// Only calls made through the program's own import table are counted, which
// is every call that its code makes.
#include <windows.h>

#include <cstring>

#include "win32_console_counts.h"

namespace {

// mov rax, <counter>; lock inc qword [rax]; jmp [rip]; <target>
// rax is neither an argument nor preserved in the x64 calling convention.
constexpr unsigned char THUNK_CODE[] = {
    0x48, 0xB8, 0,    0,    0, 0, 0, 0, 0, 0, // mov rax, imm64
    0xF0, 0x48, 0xFF, 0x00,                   // lock inc qword ptr [rax]
    0xFF, 0x25, 0,    0,    0, 0,             // jmp qword ptr [rip + 0]
    0,    0,    0,    0,    0, 0, 0, 0,       // the function's address
};
constexpr size_t COUNTER_AT = 2;
constexpr size_t TARGET_AT = 20;
constexpr size_t THUNK_BYTES = 32;
constexpr size_t THUNK_PAGE_BYTES = THUNK_BYTES * (MAX_COUNTED_FUNCTIONS + 1);

ConsoleCounts* COUNTS = nullptr;
unsigned char* THUNKS = nullptr;
size_t THUNKS_USED = 0;

void* make_thunk(volatile LONG64* counter, ULONGLONG target) {
    unsigned char* thunk = THUNKS + THUNKS_USED;
    THUNKS_USED += THUNK_BYTES;
    std::memcpy(thunk, THUNK_CODE, sizeof THUNK_CODE);
    auto counter_address = reinterpret_cast<ULONGLONG>(counter);
    std::memcpy(thunk + COUNTER_AT, &counter_address, sizeof counter_address);
    std::memcpy(thunk + TARGET_AT, &target, sizeof target);
    return thunk;
}

volatile LONG64* counter_for(const char* name) {
    if (std::strcmp(name, "Sleep") == 0) return &COUNTS->sleeps;
    if (std::strstr(name, "Console") == nullptr || COUNTS->functions >= MAX_COUNTED_FUNCTIONS)
        return nullptr;
    LONG64 slot = COUNTS->functions;
    COUNTS->functions = slot + 1;
    std::strncpy(COUNTS->names[slot], name, COUNTED_NAME_LENGTH - 1);
    return &COUNTS->calls[slot];
}

void route_imports() {
    auto* base = reinterpret_cast<unsigned char*>(GetModuleHandleA(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return;
    for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         module->Name != 0; ++module) {
        if (_stricmp(reinterpret_cast<const char*>(base + module->Name), "KERNEL32.dll") != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* by_name =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            volatile LONG64* counter = counter_for(reinterpret_cast<const char*>(by_name->Name));
            if (counter == nullptr) continue;
            void* thunk = make_thunk(counter, slots->u1.Function);
            DWORD old = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
            slots->u1.Function = reinterpret_cast<ULONGLONG>(thunk);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
        }
    }
}

bool start_counting() {
    std::string name = console_counts_name(GetCurrentProcessId());
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(ConsoleCounts), name.c_str());
    if (mapping == nullptr) return false;
    COUNTS = static_cast<ConsoleCounts*>(
        MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ConsoleCounts)));
    THUNKS = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, THUNK_PAGE_BYTES, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    if (COUNTS == nullptr || THUNKS == nullptr) return false;
    route_imports();
    return true;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) return start_counting() ? TRUE : FALSE;
    return TRUE;
}
