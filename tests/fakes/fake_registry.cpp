#include "fakes/fake_registry.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace halvern::testing {

struct FakeRegistry::Node {
    std::u16string name;
    std::vector<std::shared_ptr<Node>> subkeys;  // In creation order.
    std::vector<std::pair<std::u16string, FakeRegistryValue>> values;
    bool deleted = false;
};

namespace {

using Node = FakeRegistry::Node;

char16_t Fold(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char16_t x, char16_t y) { return Fold(x) == Fold(y); });
}

std::u16string HiveName(RegistryKeyHandle hive) {
    return hive == kHkeyCurrentUser ? u"HKCU" : u"HKLM";
}

// Splits at backslashes; one trailing backslash is allowed, any other empty component is not.
std::optional<std::vector<std::u16string>> SplitPath(std::u16string_view path) {
    std::vector<std::u16string> parts;
    while (!path.empty()) {
        const std::size_t end = path.find(u'\\');
        const std::u16string_view part = path.substr(0, end);
        if (part.empty()) {
            return std::nullopt;
        }
        parts.emplace_back(part);
        if (end == std::u16string_view::npos) {
            break;
        }
        path.remove_prefix(end + 1);
    }
    return parts;
}

// KEY_WOW64_32KEY under HKLM\Software reaches HKLM\Software\Wow6432Node.
void Redirect(RegistryKeyHandle hive, std::vector<std::u16string>& path, bool view32) {
    if (!view32 || hive != kHkeyLocalMachine || path.size() < 2 || !SameName(path[1], u"Software")) {
        return;
    }
    if (path.size() >= 3 && SameName(path[2], u"Wow6432Node")) {
        return;
    }
    path.insert(path.begin() + 2, u"Wow6432Node");
}

std::shared_ptr<Node> FindChild(const Node& node, std::u16string_view name) {
    for (const auto& child : node.subkeys) {
        if (SameName(child->name, name)) {
            return child;
        }
    }
    return nullptr;
}

FakeRegistryValue* FindValue(Node& node, std::u16string_view name) {
    for (auto& [value_name, value] : node.values) {
        if (SameName(value_name, name)) {
            return &value;
        }
    }
    return nullptr;
}

std::u16string Join(const std::vector<std::u16string>& path) {
    std::u16string text;
    for (const auto& part : path) {
        if (!text.empty()) {
            text += u'\\';
        }
        text += part;
    }
    return text;
}

void MarkDeleted(Node& node) {
    node.deleted = true;
    for (const auto& child : node.subkeys) {
        MarkDeleted(*child);
    }
}

// RRF_RT_* bit of a value type; 0 for types no restriction flag names.
std::uint32_t TypeFlag(std::uint32_t type) {
    switch (type) {
        case kRegNone:
            return 0x1;
        case kRegSz:
            return kRrfRtRegSz;
        case kRegExpandSz:
            return 0x4;
        case kRegBinary:
            return kRrfRtRegBinary;
        case kRegDword:
            return kRrfRtRegDword;
        case kRegMultiSz:
            return 0x20;
        case kRegQword:
            return kRrfRtRegQword;
        default:
            return 0;
    }
}

bool IsStringType(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// What RegGetValueW hands out: strings come back NUL-terminated even when stored without the NUL.
std::vector<std::uint8_t> ReturnedBytes(const FakeRegistryValue& value) {
    std::vector<std::uint8_t> bytes = value.bytes;
    if (!IsStringType(value.type)) {
        return bytes;
    }
    if (bytes.size() % 2 != 0) {
        bytes.push_back(0);
    }
    if (bytes.size() < 2 || bytes[bytes.size() - 1] != 0 || bytes[bytes.size() - 2] != 0) {
        bytes.insert(bytes.end(), {0, 0});
    }
    return bytes;
}

std::u16string Widen(const char* text) {
    std::u16string wide;
    for (; text != nullptr && *text != '\0'; ++text) {
        wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text)));
    }
    return wide;
}

std::u16string Hex(const std::vector<std::uint8_t>& bytes) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string text;
    for (std::uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

void DumpNode(const Node& node, const std::u16string& path, std::u16string& out) {
    out += path + u"\n";
    for (const auto& [name, value] : node.values) {
        const std::string type = std::to_string(value.type);
        out += u"  \"" + name + u"\" type " + std::u16string(type.begin(), type.end()) + u" " +
               Hex(value.bytes) + u"\n";
    }
    for (const auto& child : node.subkeys) {
        DumpNode(*child, path + u"\\" + child->name, out);
    }
}

}  // namespace

FakeRegistry::FakeRegistry() {
    for (RegistryKeyHandle hive : {kHkeyCurrentUser, kHkeyLocalMachine}) {
        auto root = std::make_shared<Node>();
        root->name = HiveName(hive);
        roots_.emplace(hive, std::move(root));
    }
}

FakeRegistry::~FakeRegistry() = default;

// --- planting and inspecting -----------------------------------------------------------------------

FakeRegistry::Located FakeRegistry::LocateForTest(RegistryKeyHandle root, std::u16string_view path,
                                                  View view) const {
    if (!roots_.contains(root)) {
        throw std::invalid_argument("FakeRegistry knows HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE only");
    }
    return Locate(root, path, view == View::k32 ? kKeyWow64_32Key : kKeyWow64_64Key);
}

std::shared_ptr<Node> FakeRegistry::CreatePath(RegistryKeyHandle root, std::u16string_view path, View view) {
    if (!roots_.contains(root)) {
        throw std::invalid_argument("FakeRegistry knows HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE only");
    }
    auto parts = SplitPath(path);
    if (!parts) {
        throw std::invalid_argument("empty component in a registry path");
    }
    parts->insert(parts->begin(), HiveName(root));
    Redirect(root, *parts, view == View::k32);
    std::shared_ptr<Node> node = roots_.at(root);
    for (std::size_t index = 1; index < parts->size(); ++index) {
        auto child = FindChild(*node, (*parts)[index]);
        if (!child) {
            child = std::make_shared<Node>();
            child->name = (*parts)[index];
            node->subkeys.push_back(child);
        }
        node = child;
    }
    return node;
}

void FakeRegistry::CreateKey(RegistryKeyHandle root, std::u16string_view path, View view) {
    CreatePath(root, path, view);
}

void FakeRegistry::SetValue(RegistryKeyHandle root, std::u16string_view path, std::u16string_view name,
                            FakeRegistryValue value, View view) {
    const auto node = CreatePath(root, path, view);
    if (FakeRegistryValue* existing = FindValue(*node, name)) {
        *existing = std::move(value);
    } else {
        node->values.emplace_back(std::u16string(name), std::move(value));
    }
}

void FakeRegistry::SetString(RegistryKeyHandle root, std::u16string_view path, std::u16string_view name,
                             std::u16string_view text, View view) {
    FakeRegistryValue value{kRegSz, std::vector<std::uint8_t>((text.size() + 1) * sizeof(char16_t))};
    std::memcpy(value.bytes.data(), text.data(), text.size() * sizeof(char16_t));
    SetValue(root, path, name, std::move(value), view);
}

void FakeRegistry::SetDword(RegistryKeyHandle root, std::u16string_view path, std::u16string_view name,
                            std::uint32_t dword, View view) {
    FakeRegistryValue value{kRegDword, std::vector<std::uint8_t>(sizeof(dword))};
    std::memcpy(value.bytes.data(), &dword, sizeof(dword));
    SetValue(root, path, name, std::move(value), view);
}

bool FakeRegistry::DeleteTree(RegistryKeyHandle root, std::u16string_view path, View view) {
    const Located found = LocateForTest(root, path, view);
    if (found.status != kErrorSuccess || !found.parent) {
        return false;
    }
    std::erase(found.parent->subkeys, found.node);
    MarkDeleted(*found.node);
    return true;
}

bool FakeRegistry::KeyExists(RegistryKeyHandle root, std::u16string_view path, View view) const {
    return LocateForTest(root, path, view).status == kErrorSuccess;
}

std::optional<FakeRegistryValue> FakeRegistry::GetValue(RegistryKeyHandle root, std::u16string_view path,
                                                        std::u16string_view name, View view) const {
    const Located found = LocateForTest(root, path, view);
    if (found.status != kErrorSuccess) {
        return std::nullopt;
    }
    if (const FakeRegistryValue* value = FindValue(*found.node, name)) {
        return *value;
    }
    return std::nullopt;
}

std::vector<std::u16string> FakeRegistry::SubkeyNames(RegistryKeyHandle root, std::u16string_view path,
                                                      View view) const {
    std::vector<std::u16string> names;
    const Located found = LocateForTest(root, path, view);
    if (found.status == kErrorSuccess) {
        for (const auto& child : found.node->subkeys) {
            names.push_back(child->name);
        }
    }
    return names;
}

std::u16string FakeRegistry::Dump() const {
    std::u16string out;
    for (const auto& [hive, root] : roots_) {
        DumpNode(*root, root->name, out);
    }
    return out;
}

// --- calls -----------------------------------------------------------------------------------------

std::vector<RegistryCall> FakeRegistry::CallsOf(RegistryFunction function) const {
    std::vector<RegistryCall> matching;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(matching),
                 [function](const RegistryCall& call) { return call.function == function; });
    return matching;
}

void FakeRegistry::FailWhen(std::function<bool(const RegistryCall&)> matches, LStatus status) {
    faults_.push_back({std::move(matches), status});
}

void FakeRegistry::FailCalls(RegistryFunction function, LStatus status) {
    FailWhen([function](const RegistryCall& call) { return call.function == function; }, status);
}

FakeRegistry::Located FakeRegistry::Locate(RegistryKeyHandle key, std::u16string_view sub_key,
                                           std::uint32_t access, RegistryCall* call) const {
    Located result;
    OpenKey base;
    if (const auto root = roots_.find(key); root != roots_.end()) {
        base = {root->second, {root->second->name}, key};
    } else if (const auto open = handles_.find(key); open != handles_.end()) {
        base = open->second;
    } else {
        result.status = kErrorInvalidHandle;
        return result;
    }
    auto path = base.path;
    const auto parts = SplitPath(sub_key);
    if (parts) {
        path.insert(path.end(), parts->begin(), parts->end());
    }
    Redirect(base.hive, path, (access & kKeyWow64_32Key) != 0);
    if (call != nullptr) {
        call->hive = base.hive;
        call->target = Join(path);
    }
    if (base.node->deleted) {
        result.status = kErrorKeyDeleted;
        return result;
    }
    if (!parts) {
        result.status = kErrorFileNotFound;
        return result;
    }
    // The open key is still in the tree, so its stored path leads to it from the root.
    std::shared_ptr<Node> node = roots_.at(base.hive);
    std::shared_ptr<Node> parent;
    for (std::size_t index = 1; index < path.size(); ++index) {
        parent = node;
        node = FindChild(*node, path[index]);
        if (!node) {
            result.status = kErrorFileNotFound;
            return result;
        }
        path[index] = node->name;
    }
    result.parent = parent;
    result.node = node;
    result.key = {node, path, base.hive};
    return result;
}

LStatus FakeRegistry::Serve(RegistryCall& call, const std::function<LStatus(RegistryCall&)>& serve) {
    if (before_call && !in_hook_) {
        in_hook_ = true;
        try {
            before_call(*this, call);
        } catch (...) {
            in_hook_ = false;
            throw;
        }
        in_hook_ = false;
    }
    Locate(call.key, call.sub_key, call.access, &call);
    const auto fault = std::find_if(faults_.begin(), faults_.end(),
                                    [&call](const Fault& candidate) { return candidate.matches(call); });
    call.status = fault != faults_.end() ? fault->status : serve(call);
    calls.push_back(call);
    return call.status;
}

LStatus FakeRegistry::Open(RegistryCall call, RegistryKeyHandle key, std::uint32_t sam_desired,
                           RegistryKeyHandle* result) {
    call.key = key;
    call.access = sam_desired;
    *result = kNoRegistryKey;
    return Serve(call, [&](RegistryCall& served) {
        Located found = Locate(key, served.sub_key, sam_desired);
        if (found.status != kErrorSuccess) {
            return found.status;
        }
        const RegistryKeyHandle handle = next_handle_;
        next_handle_ += 4;
        handles_.emplace(handle, std::move(found.key));
        served.opened = handle;
        *result = handle;
        return kErrorSuccess;
    });
}

LStatus FakeRegistry::RegOpenKeyExA(RegistryKeyHandle key, const char* sub_key, std::uint32_t /*options*/,
                                    std::uint32_t sam_desired, RegistryKeyHandle* result) {
    RegistryCall call{.function = RegistryFunction::RegOpenKeyExA, .sub_key = Widen(sub_key)};
    return Open(std::move(call), key, sam_desired, result);
}

LStatus FakeRegistry::RegOpenKeyExW(RegistryKeyHandle key, const char16_t* sub_key, std::uint32_t /*options*/,
                                    std::uint32_t sam_desired, RegistryKeyHandle* result) {
    RegistryCall call{.function = RegistryFunction::RegOpenKeyExW,
                      .sub_key = sub_key == nullptr ? std::u16string() : std::u16string(sub_key)};
    return Open(std::move(call), key, sam_desired, result);
}

LStatus FakeRegistry::RegQueryInfoKeyW(RegistryKeyHandle key, std::uint32_t* sub_keys) {
    RegistryCall call{.function = RegistryFunction::RegQueryInfoKeyW, .key = key};
    return Serve(call, [&](RegistryCall&) {
        const Located found = Locate(key, u"", 0);
        if (found.status != kErrorSuccess) {
            return found.status;
        }
        if (sub_keys != nullptr) {
            *sub_keys = static_cast<std::uint32_t>(found.node->subkeys.size());
        }
        return kErrorSuccess;
    });
}

LStatus FakeRegistry::RegEnumKeyExW(RegistryKeyHandle key, std::uint32_t index, char16_t* name,
                                    std::uint32_t* name_length) {
    RegistryCall call{.function = RegistryFunction::RegEnumKeyExW, .key = key, .index = index};
    return Serve(call, [&](RegistryCall&) {
        const Located found = Locate(key, u"", 0);
        if (found.status != kErrorSuccess) {
            return found.status;
        }
        if (name == nullptr || name_length == nullptr) {
            return kErrorInvalidParameter;
        }
        if (index >= found.node->subkeys.size()) {
            return kErrorNoMoreItems;
        }
        const std::u16string& subkey = found.node->subkeys[index]->name;
        if (subkey.size() + 1 > *name_length) {
            return kErrorMoreData;
        }
        std::copy(subkey.begin(), subkey.end(), name);
        name[subkey.size()] = u'\0';
        *name_length = static_cast<std::uint32_t>(subkey.size());
        return kErrorSuccess;
    });
}

LStatus FakeRegistry::RegGetValueW(RegistryKeyHandle key, const char16_t* sub_key, const char16_t* value,
                                   std::uint32_t flags, std::uint32_t* type, void* data,
                                   std::uint32_t* data_bytes) {
    RegistryCall call{.function = RegistryFunction::RegGetValueW,
                      .key = key,
                      .sub_key = sub_key == nullptr ? std::u16string() : std::u16string(sub_key),
                      .value_name = value == nullptr ? std::u16string() : std::u16string(value),
                      .flags = flags,
                      .data_offered = data != nullptr,
                      .data_bytes = data_bytes == nullptr ? 0 : *data_bytes};
    return Serve(call, [&](RegistryCall& served) {
        if ((data != nullptr && data_bytes == nullptr) || (flags & kRrfRtAny) == 0) {
            return kErrorInvalidParameter;
        }
        const Located found = Locate(key, served.sub_key, 0);
        if (found.status != kErrorSuccess) {
            return found.status;
        }
        const FakeRegistryValue* stored = FindValue(*found.node, served.value_name);
        if (stored == nullptr) {
            return kErrorFileNotFound;
        }
        if ((TypeFlag(stored->type) & flags) == 0) {
            return kErrorUnsupportedType;
        }
        // RRF_RT_DWORD takes a REG_BINARY only of four bytes (the tool never asks for RRF_RT_QWORD).
        if (stored->type == kRegBinary && (flags & kRrfRtAny) == kRrfRtDword && stored->bytes.size() != 4) {
            return kErrorDataNotAccepted;
        }
        const std::vector<std::uint8_t> bytes = ReturnedBytes(*stored);
        const auto size = static_cast<std::uint32_t>(bytes.size());
        if (type != nullptr) {
            *type = stored->type;
        }
        if (data == nullptr) {
            if (data_bytes != nullptr) {
                *data_bytes = size;
            }
            return kErrorSuccess;
        }
        if (*data_bytes < size) {
            *data_bytes = size;
            return kErrorMoreData;
        }
        std::memcpy(data, bytes.data(), bytes.size());
        *data_bytes = size;
        return kErrorSuccess;
    });
}

LStatus FakeRegistry::RegDeleteKeyW(RegistryKeyHandle key, const char16_t* sub_key) {
    RegistryCall call{.function = RegistryFunction::RegDeleteKeyW,
                      .key = key,
                      .sub_key = sub_key == nullptr ? std::u16string() : std::u16string(sub_key)};
    return Serve(call, [&](RegistryCall& served) {
        if (sub_key == nullptr) {
            return kErrorInvalidParameter;
        }
        // An empty name deletes the key the handle is open on, as Windows does.
        const Located found = Locate(key, served.sub_key, 0);
        if (found.status != kErrorSuccess) {
            return found.status;
        }
        if (!found.parent || !found.node->subkeys.empty()) {
            return kErrorAccessDenied;
        }
        std::erase(found.parent->subkeys, found.node);
        MarkDeleted(*found.node);
        return kErrorSuccess;
    });
}

LStatus FakeRegistry::RegCloseKey(RegistryKeyHandle key) {
    RegistryCall call{.function = RegistryFunction::RegCloseKey, .key = key};
    return Serve(call, [&](RegistryCall&) {
        if (roots_.contains(key)) {
            return kErrorSuccess;
        }
        return handles_.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
    });
}

}  // namespace halvern::testing
