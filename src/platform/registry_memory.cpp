#include "platform/registry_memory.h"

#include <algorithm>
#include <cstring>

namespace tarvik {
namespace {

constexpr size_t kMaxKeyNameChars = 255;  // the system's limit for one key name
constexpr size_t kMaxValueNameChars = 16383;
constexpr size_t kMaxDepth = 512;  // the system's nesting limit
constexpr uint32_t kSpecificRights = 0x3F | kKeyDelete;
constexpr uint32_t kWriteRights = kKeySetValue | kKeyCreateSubKey | kKeyDelete;

// Splits "a\b\c"; empty components (doubled or trailing backslashes) are skipped.
// False when a component is longer than a key name may be.
bool SplitPath(const char* path, std::vector<std::string>* out) {
    if (!path) return true;
    std::string part;
    for (const char* p = path;; ++p) {
        if (*p == '\\' || *p == '\0') {
            if (!part.empty()) {
                if (part.size() > kMaxKeyNameChars) return false;
                out->push_back(part);
            }
            part.clear();
            if (*p == '\0') break;
        } else {
            part.push_back(*p);
        }
    }
    return true;
}

bool IsRoot(RegHandle h) {
    return h == kHkeyCurrentUser || h == kHkeyLocalMachine || h == kHkeyClassesRoot ||
           h == kHkeyDynData;
}

// Copies a name into a caller's buffer with EnumKey's capacity rules.
long CopyName(const std::string& name, char* buffer, uint32_t* chars) {
    if (!chars) return kRegInvalidParameter;
    if (!buffer || name.size() + 1 > *chars) {
        *chars = static_cast<uint32_t>(name.size());
        return kRegMoreData;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *chars = static_cast<uint32_t>(name.size());
    return kRegOk;
}

long CopyData(const std::vector<uint8_t>& bytes, uint32_t valueType, uint32_t* type, void* data,
              uint32_t* size) {
    if (type) *type = valueType;
    if (!data) {
        if (size) *size = static_cast<uint32_t>(bytes.size());
        return kRegOk;
    }
    if (!size) return kRegInvalidParameter;
    if (*size < bytes.size()) {
        *size = static_cast<uint32_t>(bytes.size());
        return kRegMoreData;
    }
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    *size = static_cast<uint32_t>(bytes.size());
    return kRegOk;
}

}  // namespace

MemoryRegistry::MemoryRegistry() { Clear(); }

MemoryRegistry::~MemoryRegistry() = default;

void MemoryRegistry::Clear() {
    roots_.clear();
    for (RegHandle root : {kHkeyCurrentUser, kHkeyLocalMachine, kHkeyClassesRoot, kHkeyDynData}) {
        auto node = std::make_unique<Node>();
        node->id = nextNodeId_++;
        node->name = RootName(root);
        roots_[root] = std::move(node);
    }
}

void MemoryRegistry::Deny(RegHandle root, const std::string& prefix, uint32_t access) {
    Denial denial;
    denial.root = root;
    (void)SplitPath(prefix.c_str(), &denial.prefix);
    denial.access = access;
    denials_.push_back(std::move(denial));
}

MemoryRegistry::Node* MemoryRegistry::RootNode(RegHandle root) {
    auto it = roots_.find(root);
    return it == roots_.end() ? nullptr : it->second.get();
}

MemoryRegistry::Resolved MemoryRegistry::Resolve(RegHandle key) {
    Resolved r;
    if (IsRoot(key)) {
        r.root = key;
        r.access = kKeyAllAccess;
        r.node = RootNode(key);
        return r;
    }
    auto it = handles_.find(key);
    if (it == handles_.end()) {
        r.error = kRegInvalidHandle;
        return r;
    }
    Node* node = RootNode(it->second.root);
    for (const auto& part : it->second.path) {
        if (!node) break;
        auto child = node->children.find(part);
        node = child == node->children.end() ? nullptr : child->second.get();
    }
    if (!node || node->id != it->second.nodeId) {  // deleted, maybe re-created
        r.error = kRegKeyDeleted;
        return r;
    }
    r.node = node;
    r.root = it->second.root;
    r.path = it->second.path;
    r.access = it->second.access;
    return r;
}

bool MemoryRegistry::Denied(RegHandle root, const std::vector<std::string>& path,
                            uint32_t access) const {
    for (const auto& denial : denials_) {
        // Only the key-specific rights and DELETE count: KEY_READ and KEY_WRITE
        // share READ_CONTROL, which must not make a write denial refuse reads.
        if (denial.root != root || !(denial.access & access & kSpecificRights)) continue;
        if (denial.prefix.size() > path.size()) continue;
        if (std::equal(
                denial.prefix.begin(), denial.prefix.end(), path.begin(),
                [](const std::string& a, const std::string& b) { return EqualsNoCase(a, b); }))
            return true;
    }
    return false;
}

RegHandle MemoryRegistry::NewHandle(RegHandle root, std::vector<std::string> path, uint64_t nodeId,
                                    uint32_t access) {
    const RegHandle handle = nextHandle_;
    nextHandle_ += 4;
    handles_[handle] = HandleInfo{root, std::move(path), nodeId, access};
    return handle;
}

long MemoryRegistry::ResolveBelow(RegHandle parent, const char* path, Resolved* resolved,
                                  std::vector<std::string>* parts) {
    *resolved = Resolve(parent);
    if (!resolved->node) return resolved->error;
    return SplitPath(path, parts) ? kRegOk : kRegInvalidParameter;
}

long MemoryRegistry::Open(RegHandle parent, const char* path, uint32_t access, RegHandle* out) {
    if (!out) return kRegInvalidParameter;
    Resolved resolved;
    std::vector<std::string> parts;
    if (const long rc = ResolveBelow(parent, path, &resolved, &parts); rc != kRegOk) return rc;
    const RegHandle root = resolved.root;
    std::vector<std::string>& full = resolved.path;
    Node* node = resolved.node;
    for (const auto& part : parts) {
        auto child = node->children.find(part);
        if (child == node->children.end()) return kRegFileNotFound;
        node = child->second.get();
        full.push_back(child->first);
    }
    if (Denied(root, full, access)) return kRegAccessDenied;
    *out = NewHandle(root, std::move(full), node->id, access);
    return kRegOk;
}

long MemoryRegistry::Create(RegHandle parent, const char* path, uint32_t access, RegHandle* out,
                            bool* createdNew) {
    if (!out) return kRegInvalidParameter;
    Resolved resolved;
    std::vector<std::string> parts;
    if (const long rc = ResolveBelow(parent, path, &resolved, &parts); rc != kRegOk) return rc;
    const RegHandle root = resolved.root;
    std::vector<std::string>& full = resolved.path;
    Node* node = resolved.node;

    // Decide on the rights before anything is created, so a refused call
    // leaves no key behind.
    std::vector<std::string> target = full;
    target.insert(target.end(), parts.begin(), parts.end());
    if (target.size() > kMaxDepth) return kRegInvalidParameter;
    if (Denied(root, target, access)) return kRegAccessDenied;

    bool created = false;
    for (const auto& part : parts) {
        auto child = node->children.find(part);
        if (child == node->children.end()) {
            if (Denied(root, full, kKeyCreateSubKey)) return kRegAccessDenied;
            auto fresh = std::make_unique<Node>();
            fresh->id = nextNodeId_++;
            fresh->name = part;
            child = node->children.emplace(part, std::move(fresh)).first;
            created = true;
        } else {
            created = false;
        }
        node = child->second.get();
        full.push_back(child->first);
    }
    if (createdNew) *createdNew = created;
    *out = NewHandle(root, std::move(full), node->id, access);
    return kRegOk;
}

void MemoryRegistry::Close(RegHandle key) { handles_.erase(key); }

MemoryRegistry::Value* MemoryRegistry::FindValue(Node* node, const char* name) {
    const std::string_view wanted = name ? name : "";
    for (auto& value : node->values)
        if (EqualsNoCase(value.name, wanted)) return &value;
    return nullptr;
}

long MemoryRegistry::Query(RegHandle key, const char* name, uint32_t* type, void* data,
                           uint32_t* size) {
    Resolved resolved = Resolve(key);
    if (!resolved.node) return resolved.error;
    const uint32_t access = resolved.access;
    Node* node = resolved.node;
    if (!(access & kKeyQueryValue)) return kRegAccessDenied;
    const Value* value = FindValue(node, name);
    if (!value) return kRegFileNotFound;
    return CopyData(value->data, value->type, type, data, size);
}

long MemoryRegistry::Set(RegHandle key, const char* name, uint32_t type, const void* data,
                         uint32_t size) {
    Resolved resolved = Resolve(key);
    if (!resolved.node) return resolved.error;
    const uint32_t access = resolved.access;
    Node* node = resolved.node;
    if (!(access & kKeySetValue)) return kRegAccessDenied;
    if (!data && size) return kRegInvalidParameter;
    if (name && std::strlen(name) > kMaxValueNameChars) return kRegInvalidParameter;
    const auto* bytes = static_cast<const uint8_t*>(data);
    std::vector<uint8_t> copy(bytes, bytes + size);
    if (Value* value = FindValue(node, name)) {
        value->type = type;
        value->data = std::move(copy);
    } else {
        node->values.push_back(Value{name ? name : "", type, std::move(copy)});
    }
    return kRegOk;
}

long MemoryRegistry::DeleteValue(RegHandle key, const char* name) {
    Resolved resolved = Resolve(key);
    if (!resolved.node) return resolved.error;
    const uint32_t access = resolved.access;
    Node* node = resolved.node;
    if (!(access & kKeySetValue)) return kRegAccessDenied;
    const std::string_view wanted = name ? name : "";
    auto it = std::find_if(node->values.begin(), node->values.end(),
                           [&](const Value& v) { return EqualsNoCase(v.name, wanted); });
    if (it == node->values.end()) return kRegFileNotFound;
    node->values.erase(it);
    return kRegOk;
}

long MemoryRegistry::DeleteKey(RegHandle parent, const char* path) {
    Resolved resolved = Resolve(parent);
    if (!resolved.node) return resolved.error;
    const RegHandle root = resolved.root;
    std::vector<std::string>& full = resolved.path;
    Node* node = resolved.node;
    std::vector<std::string> parts;
    if (!SplitPath(path, &parts)) return kRegInvalidParameter;
    if (parts.empty()) return kRegInvalidParameter;  // a key never deletes itself this way
    Node* owner = node;
    for (size_t i = 0; i < parts.size(); ++i) {
        auto child = owner->children.find(parts[i]);
        if (child == owner->children.end()) return kRegFileNotFound;
        full.push_back(child->first);
        if (i + 1 < parts.size()) owner = child->second.get();
    }
    auto victim = owner->children.find(parts.back());
    if (Denied(root, full, kWriteRights)) return kRegAccessDenied;
    if (!victim->second->children.empty() && !deleteRemovesTree_) return kRegAccessDenied;
    owner->children.erase(victim);
    return kRegOk;
}

long MemoryRegistry::EnumKey(RegHandle key, uint32_t index, char* name, uint32_t* nameChars) {
    Resolved resolved = Resolve(key);
    if (!resolved.node) return resolved.error;
    const uint32_t access = resolved.access;
    Node* node = resolved.node;
    if (!(access & kKeyEnumerateSubKeys)) return kRegAccessDenied;
    if (index >= node->children.size()) return kRegNoMoreItems;
    auto it = node->children.begin();
    std::advance(it, index);
    return CopyName(it->first, name, nameChars);
}

long MemoryRegistry::EnumValue(RegHandle key, uint32_t index, char* name, uint32_t* nameChars,
                               uint32_t* type, void* data, uint32_t* size) {
    Resolved resolved = Resolve(key);
    if (!resolved.node) return resolved.error;
    const uint32_t access = resolved.access;
    Node* node = resolved.node;
    if (!(access & kKeyQueryValue)) return kRegAccessDenied;
    if (index >= node->values.size()) return kRegNoMoreItems;
    const Value& value = node->values[index];
    const long rc = CopyName(value.name, name, nameChars);
    if (rc != kRegOk) return rc;
    return CopyData(value.data, value.type, type, data, size);
}

long MemoryRegistry::CountSubkeys(RegHandle key, uint32_t* count) {
    Resolved resolved = Resolve(key);
    if (!resolved.node) return resolved.error;
    const uint32_t access = resolved.access;
    Node* node = resolved.node;
    if (!(access & kKeyQueryValue)) return kRegAccessDenied;
    if (!count) return kRegInvalidParameter;
    *count = static_cast<uint32_t>(node->children.size());
    return kRegOk;
}

}  // namespace tarvik
