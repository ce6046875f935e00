#include "host/outlook/outbox.h"

#include <mapicode.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "host/outlook/mapi_message.h"
#include "host/outlook/object_model.h"
#include "host/outlook/owners.h"
#include "host/outlook/recipients.h"

namespace kshost {

namespace {

// Buffers from the message come from mapi32's allocator (MapiFree).
template <typename T>
struct MapiOwned {
    T* p = nullptr;
    MapiOwned() = default;
    MapiOwned(const MapiOwned&) = delete;
    MapiOwned& operator=(const MapiOwned&) = delete;
    ~MapiOwned() { MapiFree(p); }
};

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

// RFC 5322 field names: printable ASCII but the colon.
bool IsFieldName(const std::wstring& name) {
    if (name.empty()) return false;
    for (wchar_t c : name) {
        if (c < 33 || c > 126 || c == L':') return false;
    }
    return true;
}

std::string Ascii(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

const char* const kTransportFields[] = {"From", "To", "Cc", "Subject", "Date", "Message-ID", "MIME-Version",
                                        "Content-Type", "Content-Transfer-Encoding"};

bool IsTransportField(const std::string& name) {
    for (const char* own : kTransportFields) {
        if (EqualNoCase(name, own)) return true;
    }
    return false;
}

std::string Base64(const std::string& bytes) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                     static_cast<unsigned char>(bytes[i + 2]);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string FromBase64(const std::string& text) {
    std::string out;
    unsigned v = 0;
    int bits = 0;
    for (char c : text) {
        int d;
        if (c >= 'A' && c <= 'Z') d = c - 'A';
        else if (c >= 'a' && c <= 'z') d = c - 'a' + 26;
        else if (c >= '0' && c <= '9') d = c - '0' + 52;
        else if (c == '+') d = 62;
        else if (c == '/') d = 63;
        else continue;
        v = (v << 6) | static_cast<unsigned>(d);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((v >> bits) & 0xFF);
        }
    }
    return out;
}

// A header value on one line: line breaks become blanks, and text that is
// not plain ASCII goes as one RFC 2047 word.
std::string HeaderValue(const std::wstring& value) {
    std::wstring flat = value;
    std::replace(flat.begin(), flat.end(), L'\r', L' ');
    std::replace(flat.begin(), flat.end(), L'\n', L' ');
    bool plain = std::all_of(flat.begin(), flat.end(), [](wchar_t c) { return c == L'\t' || (c >= 32 && c < 127); });
    if (plain) return Ascii(flat);
    return "=?utf-8?B?" + Base64(ToUtf8(flat)) + "?=";
}

std::string DecodeHeaderValue(const std::string& value) {
    const std::string prefix = "=?utf-8?B?";
    if (value.size() > prefix.size() + 2 && EqualNoCase(value.substr(0, prefix.size()), prefix) &&
        value.compare(value.size() - 2, 2, "?=") == 0) {
        return FromBase64(value.substr(prefix.size(), value.size() - prefix.size() - 2));
    }
    return value;
}

std::string QuotedPrintable(const std::string& bytes) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    size_t lineLength = 0;
    auto put = [&](const std::string& piece) {
        if (lineLength + piece.size() > 75) {
            out += "=\r\n";
            lineLength = 0;
        }
        out += piece;
        lineLength += piece.size();
    };
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            out += "\r\n";
            lineLength = 0;
            ++i;
            continue;
        }
        bool lineEndFollows = i + 1 == bytes.size() || bytes[i + 1] == '\r';
        bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !lineEndFollows);
        if (literal) {
            put(std::string(1, static_cast<char>(c)));
        } else {
            put(std::string{'=', hex[c >> 4], hex[c & 15]});
        }
    }
    return out;
}

std::string FromQuotedPrintable(const std::string& text) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
        } else if (i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n') {
            i += 2;  // soft line break
        } else if (i + 2 < text.size() && digit(text[i + 1]) >= 0 && digit(text[i + 2]) >= 0) {
            out += static_cast<char>(digit(text[i + 1]) * 16 + digit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string DateNow() {
    SYSTEMTIME t;
    GetSystemTime(&t);
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof(text), "%s, %02u %s %04u %02u:%02u:%02u +0000", days[t.wDayOfWeek % 7], t.wDay,
                  months[(t.wMonth + 11) % 12], t.wYear, t.wHour, t.wMinute, t.wSecond);
    return text;
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

HRESULT CollectInternetHeaders(IMAPIProp* message, std::vector<HeaderField>& headers) {
    headers.clear();
    if (!message) return E_POINTER;
    MapiOwned<SPropTagArray> list;
    HRESULT hr = message->GetPropList(0, &list.p);
    if (FAILED(hr)) return hr;
    if (!list.p) return S_OK;

    // Named properties live from id 0x8000 on.
    std::vector<ULONG> named(1, 0);
    for (ULONG i = 0; i < list.p->cValues; ++i) {
        if (PROP_ID(list.p->aulPropTag[i]) >= 0x8000) named.push_back(list.p->aulPropTag[i]);
    }
    named[0] = static_cast<ULONG>(named.size() - 1);
    if (named[0] == 0) return S_OK;
    std::sort(named.begin() + 1, named.end(), [](ULONG a, ULONG b) { return PROP_ID(a) < PROP_ID(b); });

    auto* tags = reinterpret_cast<SPropTagArray*>(named.data());
    ULONG nameCount = 0;
    MapiOwned<MAPINAMEID*> names;
    hr = message->GetNamesFromIDs(&tags, nullptr, 0, &nameCount, &names.p);
    if (FAILED(hr)) return hr;

    for (ULONG i = 0; i < nameCount && i < named[0] && names.p; ++i) {
        const MAPINAMEID* name = names.p[i];
        if (!name || !name->lpguid || !IsEqualGUID(*name->lpguid, PS_InternetHeaders) || name->ulKind != MNID_STRING ||
            !name->Kind.lpwstrName) {
            continue;
        }
        const std::wstring fieldName = name->Kind.lpwstrName;
        if (!IsFieldName(fieldName)) continue;

        ULONG wanted[2] = {1, PROP_TAG(PT_UNSPECIFIED, PROP_ID(named[i + 1]))};
        ULONG count = 0;
        MapiOwned<SPropValue> value;
        hr = message->GetProps(reinterpret_cast<SPropTagArray*>(wanted), MAPI_UNICODE, &count, &value.p);
        if (FAILED(hr) || !value.p || count < 1) continue;
        std::wstring text;
        if (PROP_TYPE(value.p->ulPropTag) == PT_UNICODE && value.p->Value.lpszW) {
            text = value.p->Value.lpszW;
        } else if (PROP_TYPE(value.p->ulPropTag) == PT_STRING8 && value.p->Value.lpszA) {
            const char* narrow = value.p->Value.lpszA;
            int n = MultiByteToWideChar(CP_ACP, 0, narrow, -1, nullptr, 0);
            if (n > 0) {
                text.assign(static_cast<size_t>(n), L'\0');
                MultiByteToWideChar(CP_ACP, 0, narrow, -1, &text[0], n);
                text.resize(static_cast<size_t>(n - 1));
            }
        } else {
            continue;
        }
        headers.push_back({Ascii(fieldName), ToUtf8(text)});
    }
    return S_OK;
}

std::string ComposeRfc5322(const OutgoingMessage& message, const std::string& date, const std::string& messageId) {
    std::string out;
    auto line = [&out](const std::string& name, const std::string& value) { out += name + ": " + value + "\r\n"; };
    line("From", HeaderValue(message.from.empty() ? L"Stand-in Outlook <sender@stand-in.invalid>" : message.from));
    if (!message.to.empty()) line("To", HeaderValue(message.to));
    if (!message.cc.empty()) line("Cc", HeaderValue(message.cc));
    line("Subject", HeaderValue(message.subject));
    line("Date", date);
    line("Message-ID", messageId);
    for (const HeaderField& field : message.internetHeaders) {
        std::wstring wideName(field.name.begin(), field.name.end());
        if (!IsFieldName(wideName) || IsTransportField(field.name)) continue;
        line(field.name, HeaderValue(FromUtf8(field.value)));
    }
    line("MIME-Version", "1.0");
    line("Content-Type", "text/html; charset=utf-8");
    line("Content-Transfer-Encoding", "quoted-printable");
    out += "\r\n";
    out += QuotedPrintable(ToUtf8(message.htmlBody));
    out += "\r\n";
    return out;
}

std::vector<std::string> ReceivedMessage::Values(const std::string& name) const {
    std::vector<std::string> values;
    for (const HeaderField& field : headers) {
        if (EqualNoCase(field.name, name)) values.push_back(DecodeHeaderValue(field.value));
    }
    return values;
}

size_t ReceivedMessage::CountWithPrefix(const std::string& prefix) const {
    return static_cast<size_t>(std::count_if(headers.begin(), headers.end(), [&](const HeaderField& field) {
        return field.name.size() >= prefix.size() && EqualNoCase(field.name.substr(0, prefix.size()), prefix);
    }));
}

bool ParseRfc5322(const std::string& text, ReceivedMessage& message) {
    message = ReceivedMessage();
    size_t end = text.find("\r\n\r\n");
    if (end == std::string::npos) return false;
    size_t at = 0;
    while (at < end) {
        size_t next = text.find("\r\n", at);
        if (next == std::string::npos || next > end) next = end;
        std::string line = text.substr(at, next - at);
        at = next + 2;
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            if (message.headers.empty()) return false;
            message.headers.back().value += line;  // unfold
            continue;
        }
        size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0) return false;
        std::string value = line.substr(colon + 1);
        if (!value.empty() && value[0] == ' ') value.erase(0, 1);
        message.headers.push_back({line.substr(0, colon), value});
    }
    std::string body = text.substr(end + 4);
    if (body.size() >= 2 && body.compare(body.size() - 2, 2, "\r\n") == 0) body.resize(body.size() - 2);
    message.htmlBody = FromUtf8(FromQuotedPrintable(body));
    return true;
}

Outbox::Outbox(std::wstring folder) : m_folder(std::move(folder)) {
    if (!m_folder.empty() && m_folder.back() != L'\\') m_folder += L'\\';
    CreateDirectoryW(m_folder.c_str(), nullptr);
}

HRESULT Outbox::Transmit(const OutgoingMessage& message, std::wstring* path) {
    std::string text;
    std::wstring file;
    HANDLE handle = INVALID_HANDLE_VALUE;
    // A new file each time; an existing name is never overwritten.
    for (int attempt = 0; attempt < 10000 && handle == INVALID_HANDLE_VALUE; ++attempt) {
        std::wstring serial = std::to_wstring(++m_serial);
        file = m_folder + L"message-" + std::wstring(serial.size() < 4 ? 4 - serial.size() : 0, L'0') + serial + L".eml";
        handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            return HRESULT_FROM_WIN32(GetLastError());
        }
    }
    if (handle == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);

    char messageId[80];
    std::snprintf(messageId, sizeof(messageId), "<%lu.%u@stand-in.invalid>",
                  static_cast<unsigned long>(GetTickCount()), m_serial);
    text = ComposeRfc5322(message, DateNow(), messageId);
    DWORD written = 0;
    BOOL ok = WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    DWORD error = GetLastError();
    CloseHandle(handle);
    if (!ok || written != text.size()) {
        DeleteFileW(file.c_str());
        return HRESULT_FROM_WIN32(ok ? ERROR_WRITE_FAULT : error);
    }
    if (path) *path = file;
    return S_OK;
}

void SendThroughOutbox(MailItem& item, Outbox& outbox, std::wstring to) {
    SendThroughOutbox(item, outbox, std::make_shared<const Recipients>(std::move(to)));
}

void SendThroughOutbox(MailItem& item, Outbox& outbox, std::shared_ptr<const Recipients> to) {
    if (!to) to = std::make_shared<const Recipients>();
    item.OnSend([&outbox, to](MailItem& sent) {
        HRESULT hr = RecipientsProblem(*to);
        if (FAILED(hr)) return hr;
        OutgoingMessage message;
        message.to = to->ToLine();
        message.subject = sent.Subject();
        message.htmlBody = sent.HtmlBody();
        hr = CollectInternetHeaders(&sent.Message(), message.internetHeaders);
        if (SUCCEEDED(hr)) hr = outbox.Transmit(message);
        if (SUCCEEDED(hr)) sent.MarkSent();
        return hr;
    });
}

std::vector<std::wstring> Outbox::Files() const {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((m_folder + L"*.eml").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return files;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(m_folder + data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(files.begin(), files.end());
    return files;
}

void Outbox::Clear() const {
    for (const std::wstring& file : Files()) DeleteFileW(file.c_str());
}

bool Outbox::ReadAll(const std::wstring& path, std::string& text) {
    text.clear();
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    char buffer[4096];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ReadFile(handle, buffer, sizeof(buffer), &read, nullptr) != FALSE) && read > 0) {
        text.append(buffer, read);
    }
    CloseHandle(handle);
    return ok;
}

}  // namespace kshost
