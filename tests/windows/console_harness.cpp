#include "console_harness.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace harness {
namespace {

constexpr const char* HOLDER_ARGUMENT = "--console-holder";
// A holder whose harness never comes back ends by itself.
constexpr DWORD HOLDER_MAX_MS = 10 * 60 * 1000;
// How long a new console may take to accept the harness.
constexpr DWORD ATTACH_TIMEOUT_MS = 10000;
constexpr DWORD POLL_MS = 20;
constexpr DWORD KILLED_STATUS = 0xDEAD;
constexpr WORD CTRL_C_VIRTUAL_KEY = 'C';
constexpr WORD CTRL_C_SCAN_CODE = 46;
constexpr char CTRL_C_CHARACTER = '\x03';
// Cells read back in one console call (its limit is 64 KB, 4 bytes a cell).
constexpr int READ_CELLS = 8000;

BOOL WINAPI keep_running(DWORD) {
    // Ctrl+C meant for the program reaches every process on its console;
    // the harness and the holder stay.
    return TRUE;
}

// Sets NAME=VALUE pairs for a child started meanwhile, and puts the old
// values back afterwards.
class EnvironmentFor {
  public:
    explicit EnvironmentFor(const std::vector<std::pair<std::string, std::string>>& pairs) {
        for (const auto& [name, value] : pairs) {
            char old[32768];
            DWORD length = GetEnvironmentVariableA(name.c_str(), old, sizeof old);
            saved_.push_back({name, length > 0 && length < sizeof old, std::string(old, length)});
            SetEnvironmentVariableA(name.c_str(), value.c_str());
        }
    }
    ~EnvironmentFor() {
        for (const auto& s : saved_)
            SetEnvironmentVariableA(s.name.c_str(), s.had ? s.value.c_str() : nullptr);
    }
    EnvironmentFor(const EnvironmentFor&) = delete;
    EnvironmentFor& operator=(const EnvironmentFor&) = delete;

  private:
    struct Saved {
        std::string name;
        bool had;
        std::string value;
    };
    std::vector<Saved> saved_;
};

HANDLE open_console(const char* name, bool inheritable) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, inheritable ? TRUE : FALSE};
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &attributes, OPEN_EXISTING, 0, nullptr);
}

HANDLE create_inheritable(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string own_program() {
    char name[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, name, MAX_PATH);
    return std::string(name, length);
}

bool create_process(const Start& start, DWORD flags, HANDLE in, HANDLE out, HANDLE err,
                    PROCESS_INFORMATION& info) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::string command = start.command_line;
    EnvironmentFor environment(start.env);
    return CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, flags, nullptr,
                          start.cwd.empty() ? nullptr : start.cwd.c_str(), &startup, &info) != 0;
}

void remove_tree(const std::string& dir) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = dir + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_tree(path);
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
}

} // namespace

bool run_console_holder(int argc, char** argv) {
    if (argc < 3 || std::string(argv[1]) != HOLDER_ARGUMENT) return false;
    SetConsoleCtrlHandler(keep_running, TRUE);
    // Lives as long as the harness that started it, so that the console
    // stays while the harness attaches to it.
    DWORD parent_id = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, parent_id);
    if (parent != nullptr) {
        WaitForSingleObject(parent, HOLDER_MAX_MS);
    } else {
        Sleep(HOLDER_MAX_MS);
    }
    return true;
}

std::string windows_path(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    using DosName = WCHAR*(CDECL*)(const char*);
    auto to_dos = reinterpret_cast<DosName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    if (to_dos != nullptr) {
        if (WCHAR* wide = to_dos(path.c_str())) {
            char narrow[MAX_PATH * 4];
            int length =
                WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
            HeapFree(GetProcessHeap(), 0, wide);
            if (length > 0) return narrow;
        }
    }
    std::string converted = "Z:" + path;
    for (char& c : converted)
        if (c == '/') c = '\\';
    return converted;
}

bool output_is_console() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) ||
           GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode);
}

bool under_wine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

std::string beside_this_program(const char* name) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, length);
    return dir.substr(0, dir.find_last_of('\\') + 1) + name;
}

bool load_library(HANDLE process, const std::string& path) {
    void* remote =
        VirtualAllocEx(process, nullptr, path.size() + 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (remote == nullptr ||
        !WriteProcessMemory(process, remote, path.c_str(), path.size() + 1, nullptr))
        return false;
    // KERNEL32 lies at the same address in every process of a session.
    auto load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
    HANDLE thread = CreateRemoteThread(process, nullptr, 0, load, remote, 0, nullptr);
    if (thread == nullptr) return false;
    WaitForSingleObject(thread, INFINITE);
    DWORD loaded = 0;
    GetExitCodeThread(thread, &loaded);
    CloseHandle(thread);
    return loaded != 0;
}

Scratch::Scratch() {
    static unsigned counter = 0;
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, temp);
    std::string base(temp, length);
    for (unsigned attempt = 0; attempt < 1000 && dir_.empty(); ++attempt) {
        std::string candidate = base + "sudoku2-e2e-" + std::to_string(GetCurrentProcessId()) +
                                "-" + std::to_string(counter++);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) dir_ = candidate;
    }
}

Scratch::~Scratch() {
    if (!dir_.empty()) remove_tree(dir_);
}

bool write_file(const std::string& path, std::string_view bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::string read_file(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

bool file_exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

long long file_size(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

ConsoleRun::~ConsoleRun() {
    finish();
}

bool ConsoleRun::fresh_console(short width, short height, short window_rows) {
    SetConsoleCtrlHandler(keep_running, TRUE);
    FreeConsole();
    // A windowless console comes with a process started without a window;
    // the holder keeps it while the harness attaches and sizes it, so the
    // program finds it ready from its first call.
    Start holder;
    holder.command_line = "\"" + own_program() + "\" " + HOLDER_ARGUMENT + " " +
                          std::to_string(GetCurrentProcessId());
    PROCESS_INFORMATION info{};
    HANDLE none = INVALID_HANDLE_VALUE;
    if (!create_process(holder, CREATE_NO_WINDOW, none, none, none, info)) return false;
    CloseHandle(info.hThread);
    holder_ = info.hProcess;
    bool attached = false;
    for (DWORD waited = 0; !attached && waited < ATTACH_TIMEOUT_MS; waited += POLL_MS) {
        attached = AttachConsole(info.dwProcessId) != 0;
        if (!attached) Sleep(POLL_MS);
    }
    if (!attached) return false;
    out_ = open_console("CONOUT$", false);
    in_ = open_console("CONIN$", false);
    if (out_ == INVALID_HANDLE_VALUE || in_ == INVALID_HANDLE_VALUE) return false;
    return resize(width, height, window_rows);
}

bool ConsoleRun::resize(short width, short height, short window_rows) {
    const SHORT rows = window_rows > 0 ? window_rows : height;
    // The window must fit in the buffer at every moment: it shrinks before
    // the buffer, and the buffer widens before it.
    const SMALL_RECT now = window();
    const SMALL_RECT fit{0, 0, std::min<SHORT>(now.Right - now.Left, width - 1),
                         std::min<SHORT>(now.Bottom - now.Top, rows - 1)};
    const SMALL_RECT wanted{0, 0, static_cast<SHORT>(width - 1), static_cast<SHORT>(rows - 1)};
    if (!SetConsoleWindowInfo(out_, TRUE, &fit) ||
        !SetConsoleScreenBufferSize(out_, COORD{width, height}) ||
        !SetConsoleWindowInfo(out_, TRUE, &wanted))
        return false;
    CONSOLE_SCREEN_BUFFER_INFO buffer{};
    if (!GetConsoleScreenBufferInfo(out_, &buffer)) return false;
    width_ = buffer.dwSize.X;
    height_ = buffer.dwSize.Y;
    return width_ == width && height_ == height;
}

bool ConsoleRun::start(const Start& start) {
    finish();
    if (!fresh_console(start.width, start.height, start.window_rows)) return false;
    if (start.prepare && !start.prepare(out_)) return false;
    input_mode_at_start_ = input_mode();
    HANDLE child_in = INVALID_HANDLE_VALUE;
    if (!start.stdin_path.empty()) {
        child_in = create_inheritable(start.stdin_path, GENERIC_READ, OPEN_EXISTING);
    } else if (start.input_pipe) {
        SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
        if (!CreatePipe(&child_in, &input_pipe_, &attributes, 0)) return false;
        SetHandleInformation(input_pipe_, HANDLE_FLAG_INHERIT, 0);
    } else {
        child_in = open_console("CONIN$", true);
    }
    HANDLE child_out = open_console("CONOUT$", true);
    HANDLE child_stdout = child_out;
    if (!start.stdout_path.empty())
        child_stdout = create_inheritable(start.stdout_path, GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION info{};
    bool started = create_process(start, 0, child_in, child_stdout, child_out, info);
    CloseHandle(child_in);
    CloseHandle(child_out);
    if (child_stdout != child_out) CloseHandle(child_stdout);
    if (!started) return false;
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    return true;
}

void ConsoleRun::finish() {
    if (process_ != nullptr) {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_, KILLED_STATUS);
            WaitForSingleObject(process_, INFINITE);
        }
        CloseHandle(process_);
        process_ = nullptr;
    }
    if (out_ != INVALID_HANDLE_VALUE) CloseHandle(out_);
    if (in_ != INVALID_HANDLE_VALUE) CloseHandle(in_);
    if (input_pipe_ != INVALID_HANDLE_VALUE) CloseHandle(input_pipe_);
    out_ = in_ = input_pipe_ = INVALID_HANDLE_VALUE;
    if (holder_ != nullptr) {
        TerminateProcess(holder_, 0);
        WaitForSingleObject(holder_, INFINITE);
        CloseHandle(holder_);
        holder_ = nullptr;
        FreeConsole();
    }
}

std::vector<CHAR_INFO> ConsoleRun::screen(int top, int rows) const {
    if (rows < 0) rows = height_ - top;
    std::vector<CHAR_INFO> cells(static_cast<size_t>(width_) * rows);
    // A tall buffer is read in pieces that one console call can move.
    const int rows_per_read = std::max(1, READ_CELLS / width_);
    for (int done = 0; done < rows; done += rows_per_read) {
        const int count = std::min(rows_per_read, rows - done);
        SMALL_RECT region{0, static_cast<SHORT>(top + done), static_cast<SHORT>(width_ - 1),
                          static_cast<SHORT>(top + done + count - 1)};
        if (!ReadConsoleOutputA(out_, cells.data() + static_cast<size_t>(done) * width_,
                                COORD{width_, static_cast<SHORT>(count)}, COORD{0, 0}, &region))
            return std::vector<CHAR_INFO>(cells.size(), CHAR_INFO{});
    }
    return cells;
}

std::string ConsoleRun::row_of(const std::vector<CHAR_INFO>& cells, short width, int y) {
    std::string text;
    for (int x = 0; x < width; ++x) {
        size_t at = static_cast<size_t>(y) * width + x;
        text += at < cells.size() ? cells[at].Char.AsciiChar : ' ';
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    return text;
}

std::string ConsoleRun::row(int y) const {
    return row_of(screen(y, 1), width_, 0);
}

COORD ConsoleRun::cursor() const {
    CONSOLE_SCREEN_BUFFER_INFO buffer{};
    GetConsoleScreenBufferInfo(out_, &buffer);
    return buffer.dwCursorPosition;
}

SMALL_RECT ConsoleRun::window() const {
    CONSOLE_SCREEN_BUFFER_INFO buffer{};
    GetConsoleScreenBufferInfo(out_, &buffer);
    return buffer.srWindow;
}

bool ConsoleRun::send(std::string_view bytes) {
    DWORD written = 0;
    return WriteFile(input_pipe_, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

void ConsoleRun::close_input() {
    CloseHandle(input_pipe_);
    input_pipe_ = INVALID_HANDLE_VALUE;
}

DWORD ConsoleRun::input_mode() const {
    DWORD mode = 0;
    GetConsoleMode(in_, &mode);
    return mode;
}

bool ConsoleRun::wait_for(const std::function<bool(const ConsoleRun&)>& predicate,
                          DWORD timeout_ms) const {
    DWORD started = GetTickCount();
    for (;;) {
        if (predicate(*this)) return true;
        if (GetTickCount() - started > timeout_ms) return false;
        Sleep(POLL_MS);
    }
}

bool ConsoleRun::key(WORD virtual_key, WORD scan_code, char character, DWORD control_state) {
    INPUT_RECORD records[2]{};
    for (int i = 0; i < 2; ++i) {
        records[i].EventType = KEY_EVENT;
        KEY_EVENT_RECORD& event = records[i].Event.KeyEvent;
        event.bKeyDown = i == 0 ? TRUE : FALSE;
        event.wRepeatCount = 1;
        event.wVirtualKeyCode = virtual_key;
        event.wVirtualScanCode = scan_code;
        event.uChar.AsciiChar = character;
        event.dwControlKeyState = control_state;
    }
    DWORD written = 0;
    return WriteConsoleInputA(in_, records, 2, &written) && written == 2;
}

bool ConsoleRun::type(std::string_view text) {
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        // Letters and digits carry their own virtual key; the program reads
        // only the character of an ordinary key.
        WORD virtual_key = std::isalnum(u) ? static_cast<WORD>(std::toupper(u)) : 0;
        DWORD shift = std::isupper(u) ? SHIFT_PRESSED : 0;
        if (!key(virtual_key, 0, c, shift)) return false;
    }
    return true;
}

bool ConsoleRun::ctrl_c_key() {
    return key(CTRL_C_VIRTUAL_KEY, CTRL_C_SCAN_CODE, CTRL_C_CHARACTER, LEFT_CTRL_PRESSED);
}

bool ConsoleRun::ctrl_c_event() {
    return GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
}

bool ConsoleRun::wait_exit(DWORD& status, DWORD timeout_ms) {
    if (process_ == nullptr || WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0)
        return false;
    return GetExitCodeProcess(process_, &status) != 0;
}

Detached run_detached(const Start& start, DWORD timeout_ms) {
    Detached result;
    Scratch streams;
    std::string out_path = streams.path("stdout.txt");
    std::string err_path = streams.path("stderr.txt");
    HANDLE in = create_inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = create_inheritable(out_path, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = create_inheritable(err_path, GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION info{};
    bool started = create_process(start, DETACHED_PROCESS, in, out, err, info);
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    if (!started) return result;
    CloseHandle(info.hThread);
    if (WaitForSingleObject(info.hProcess, timeout_ms) == WAIT_OBJECT_0) {
        result.ended = GetExitCodeProcess(info.hProcess, &result.status) != 0;
    } else {
        TerminateProcess(info.hProcess, KILLED_STATUS);
        WaitForSingleObject(info.hProcess, INFINITE);
    }
    CloseHandle(info.hProcess);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    return result;
}

} // namespace harness
