#pragma once
// What every probe shares: its answers go to standard output as UTF-8 lines, and the last
// line is "end <probe> <number of answer lines>". A reader that misses that line, or finds
// another count, holds no answer at all: the stream was cut, or the probe never finished.
#include <windows.h>

#include <cstdio>
#include <string>

namespace probe {

// Owns one handle; Invalid is the value that means none (0 or INVALID_HANDLE_VALUE).
template <typename Handle, Handle (*Invalid)(), BOOL(WINAPI* Close)(Handle)>
class Owned {
  public:
    explicit Owned(Handle handle = Invalid()) : handle_(handle) {}
    ~Owned() {
        if (valid()) {
            Close(handle_);
        }
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Handle get() const { return handle_; }
    bool valid() const { return handle_ != Invalid(); }
    void reset(Handle handle = Invalid()) {
        if (valid()) {
            Close(handle_);
        }
        handle_ = handle;
    }

  private:
    Handle handle_;
};

inline HANDLE noFile() {
    return INVALID_HANDLE_VALUE;
}
inline HANDLE noHandle() {
    return nullptr;
}
using File = Owned<HANDLE, noFile, CloseHandle>;
using Handle = Owned<HANDLE, noHandle, CloseHandle>;

inline std::string utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string bytes(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0],
                            length, nullptr, nullptr);
    }
    return bytes;
}

// Writes straight to the standard output handle: no code page and no buffer in between. A
// write that fails ends the probe at once, so the end line can never follow a lost answer.
inline void writeOut(const std::string& bytes) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(out, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                       nullptr) ||
            written == 0) {
            ExitProcess(3);
        }
        done += written;
    }
}

// The whole of a UTF-8 file as wide text; false when it cannot be read.
inline bool readUtf8(const std::wstring& path, std::wstring& text) {
    File file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.valid() || !GetFileSizeEx(file.get(), &size) || size.QuadPart > (1 << 26)) {
        return false;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size())) {
        return false;
    }
    text.assign(bytes.size(), L'\0');
    text.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes.data(),
                                                        static_cast<int>(bytes.size()), &text[0],
                                                        static_cast<int>(text.size()))));
    return true;
}

struct Answers {
    unsigned count = 0;
};

inline void answer(Answers& answers, const std::wstring& line) {
    writeOut(utf8(line) + "\n");
    ++answers.count;
}

inline void finish(const Answers& answers, const wchar_t* probe) {
    writeOut(utf8(std::wstring(L"end ") + probe + L" " + std::to_wstring(answers.count)) + "\n");
}

inline std::wstring hex32(unsigned long value) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08lX", value);
    return text;
}

inline std::wstring hexBytes(const unsigned char* bytes, size_t size) {
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring text;
    for (size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xF];
    }
    return text.empty() ? L"-" : text;
}

}  // namespace probe
