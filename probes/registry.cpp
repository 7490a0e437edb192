// The harness's registry probe: answers for keys and values as RegOpenKeyExW and
// RegQueryValueExW give them, in one registry view.
//   probe-reg [/sentinel NONCE | /make-sentinel NONCE] [/view 64|32] QUERY...
//     /key PATH          "present PATH", "absent PATH" or "error N PATH"
//     /value PATH NAME   "value TYPE HEX PATH\NAME", "absent PATH\NAME" or "error N ..."
//                        (NAME @ is the key's default value; HEX is the data, byte by byte)
//     /from FILE         the queries in FILE, one a line in UTF-8, fields separated by tabs:
//                        "key PATH", "value PATH NAME" or "view 64|32" (no command line
//                        limits the number of queries)
// PATH starts with HKEY_LOCAL_MACHINE, HKLM, HKEY_CURRENT_USER or HKCU. The view is the
// 64-bit one unless /view 32 is given. /sentinel answers "sentinel held" or "sentinel lost"
// first; /make-sentinel makes it ("sentinel made" or "sentinel error N"). Then "end reg N".
#include <algorithm>
#include <string>
#include <vector>

#include "answer.h"
#include "sentinel.h"

namespace {

using probe::Answers;

struct Root {
    const wchar_t* name;
    HKEY key;
};

// The root key PATH starts with, and the rest of PATH after its separator.
bool splitRoot(const std::wstring& path, HKEY& root, std::wstring& rest) {
    static const Root roots[] = {{L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                                 {L"HKLM", HKEY_LOCAL_MACHINE},
                                 {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                                 {L"HKCU", HKEY_CURRENT_USER}};
    for (const Root& candidate : roots) {
        const std::wstring name = candidate.name;
        if (_wcsnicmp(path.c_str(), name.c_str(), name.size()) == 0 &&
            (path.size() == name.size() || path[name.size()] == L'\\')) {
            root = candidate.key;
            rest = path.size() == name.size() ? L"" : path.substr(name.size() + 1);
            return true;
        }
    }
    return false;
}

// Opens PATH for reading values in VIEW: the system's code, ERROR_SUCCESS when open.
LSTATUS openKey(const std::wstring& path, REGSAM view, HKEY& key) {
    HKEY root = nullptr;
    std::wstring rest;
    if (!splitRoot(path, root, rest)) {
        return ERROR_BAD_PATHNAME;
    }
    return RegOpenKeyExW(root, rest.c_str(), 0, KEY_QUERY_VALUE | view, &key);
}

std::wstring failure(LSTATUS status, const std::wstring& what) {
    if (status == ERROR_FILE_NOT_FOUND) {
        return L"absent " + what;
    }
    return L"error " + std::to_wstring(status) + L" " + what;
}

std::wstring keyAnswer(const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    const LSTATUS status = openKey(path, view, key);
    if (status != ERROR_SUCCESS) {
        return failure(status, path);
    }
    RegCloseKey(key);
    return L"present " + path;
}

std::wstring valueAnswer(const std::wstring& path, const std::wstring& name, REGSAM view) {
    const std::wstring what = path + L"\\" + name;
    HKEY key = nullptr;
    LSTATUS status = openKey(path, view, key);
    if (status != ERROR_SUCCESS) {
        return failure(status, what);
    }
    const wchar_t* valueName = name == L"@" ? nullptr : name.c_str();
    DWORD type = 0;
    DWORD size = 0;
    std::vector<unsigned char> data;
    status = RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size);
    // The value may grow between the two calls; ask again with what it needs then.
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        data.resize(size);
        status = RegQueryValueExW(key, valueName, nullptr, &type, data.data(), &size);
        if (status == ERROR_SUCCESS) {
            data.resize(size);
            break;
        }
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return failure(status, what);
    }
    return L"value " + probe::hex32(type) + L" " + probe::hexBytes(data.data(), data.size()) +
           L" " + what;
}

// The queries of FILE as the arguments they stand for ("/key", PATH, ...): each line's first
// field names the option. False when FILE cannot be read.
bool queriesFrom(const std::wstring& file, std::vector<std::wstring>& arguments) {
    std::wstring text;
    if (!probe::readUtf8(file, text)) {
        return false;
    }
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find(L'\n', start), text.size());
        for (size_t field = start; field <= end;) {
            const size_t tab = std::min(text.find(L'\t', field), end);
            const std::wstring part = text.substr(field, tab - field);
            arguments.push_back(field == start ? L"/" + part : part);
            field = tab + 1;
        }
        start = end + 1;
    }
    return true;
}

// Answers each query of ARGUMENTS in turn; false at one it does not know.
bool answerAll(const std::vector<std::wstring>& arguments, Answers& answers) {
    REGSAM view = KEY_WOW64_64KEY;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& option = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (option == L"/sentinel" && hasValue) {
            probe::answer(
                answers, probe::sentinelHeld(arguments[++i]) ? L"sentinel held" : L"sentinel lost");
        } else if (option == L"/make-sentinel" && hasValue) {
            const LSTATUS status = probe::makeSentinel(arguments[++i]);
            probe::answer(answers, status == ERROR_SUCCESS
                                       ? std::wstring(L"sentinel made")
                                       : L"sentinel error " + std::to_wstring(status));
        } else if (option == L"/view" && hasValue) {
            view = arguments[++i] == L"32" ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
        } else if (option == L"/key" && hasValue) {
            probe::answer(answers, keyAnswer(arguments[++i], view));
        } else if (option == L"/value" && i + 2 < arguments.size()) {
            probe::answer(answers, valueAnswer(arguments[i + 1], arguments[i + 2], view));
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> arguments;
    bool readable = true;
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"/from" && i + 1 < argc) {
            readable = readable && queriesFrom(argv[++i], arguments);
        } else {
            arguments.emplace_back(argv[i]);
        }
    }
    Answers answers;
    if (!readable || !answerAll(arguments, answers)) {
        probe::answer(answers,
                      L"usage: probe-reg [/sentinel NONCE] [/view 64|32] "
                      L"/key PATH | /value PATH NAME | /from FILE ...");
        return 2;
    }
    probe::finish(answers, L"reg");
    return 0;
}
