#pragma once
// An in-memory registry with advapi32's rules, for host tests and tarvikctl.
// Beyond the Registry seam it can be told to refuse access rights (a user
// without write access to HKEY_LOCAL_MACHINE) and to delete keys the way the
// 95/98/ME family does (whole trees).
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/registry.h"

namespace tarvik {

class MemoryRegistry final : public Registry {
public:
    MemoryRegistry();
    ~MemoryRegistry() override;

    long Open(RegHandle parent, const char* path, uint32_t access, RegHandle* out) override;
    long Create(RegHandle parent, const char* path, uint32_t access, RegHandle* out,
                bool* createdNew) override;
    void Close(RegHandle key) override;
    long Query(RegHandle key, const char* name, uint32_t* type, void* data,
               uint32_t* size) override;
    long Set(RegHandle key, const char* name, uint32_t type, const void* data,
             uint32_t size) override;
    long DeleteValue(RegHandle key, const char* name) override;
    long DeleteKey(RegHandle parent, const char* path) override;
    long EnumKey(RegHandle key, uint32_t index, char* name, uint32_t* nameChars) override;
    long EnumValue(RegHandle key, uint32_t index, char* name, uint32_t* nameChars, uint32_t* type,
                   void* data, uint32_t* size) override;
    long CountSubkeys(RegHandle key, uint32_t* count) override;

    // Opening or creating root\prefix or any key below it with one of the
    // rights in `access` fails with kRegAccessDenied, as does deleting such a
    // key when `access` includes kKeyDelete or write rights.
    void Deny(RegHandle root, const std::string& prefix, uint32_t access);
    void ClearDenials() { denials_.clear(); }
    // RegDeleteKeyA of the 95/98/ME family: removes keys with subkeys too.
    void SetDeleteRemovesTree(bool on) { deleteRemovesTree_ = on; }
    // Empties all four roots (open handles become stale).
    void Clear();
    // Handles not yet closed; lets tests prove every key was closed.
    size_t OpenHandles() const { return handles_.size(); }

private:
    struct Value {
        std::string name;
        uint32_t type = 0;
        std::vector<uint8_t> data;
    };
    struct Node {
        uint64_t id = 0;
        std::string name;
        std::map<std::string, std::unique_ptr<Node>, NoCaseLess> children;
        std::vector<Value> values;  // in the order they were first set
    };
    struct HandleInfo {
        RegHandle root = 0;
        std::vector<std::string> path;
        uint64_t nodeId = 0;
        uint32_t access = 0;
    };
    struct Denial {
        RegHandle root = 0;
        std::vector<std::string> prefix;
        uint32_t access = 0;
    };

    Node* RootNode(RegHandle root);
    // What a handle stands for. node is null for a stale or unknown handle,
    // and error then says which of the two it is.
    struct Resolved {
        Node* node = nullptr;
        RegHandle root = 0;
        std::vector<std::string> path;
        uint32_t access = 0;
        long error = 0;
    };
    Resolved Resolve(RegHandle key);
    // Resolve(parent) and the parts of a subkey path below it.
    long ResolveBelow(RegHandle parent, const char* path, Resolved* resolved,
                      std::vector<std::string>* parts);
    bool Denied(RegHandle root, const std::vector<std::string>& path, uint32_t access) const;
    RegHandle NewHandle(RegHandle root, std::vector<std::string> path, uint64_t nodeId,
                        uint32_t access);
    Value* FindValue(Node* node, const char* name);

    std::map<RegHandle, std::unique_ptr<Node>> roots_;
    std::map<RegHandle, HandleInfo> handles_;
    std::vector<Denial> denials_;
    RegHandle nextHandle_ = 0x1000;
    uint64_t nextNodeId_ = 1;
    bool deleteRemovesTree_ = false;
};

}  // namespace tarvik
