#include "np_runtime.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace browser {

namespace {

struct Identifier {
    bool isString;
    std::string name;
    int32_t number;
};

// Identifiers live as long as the browser: the same name is the same
// identifier every time.
struct IdentifierTable {
    std::mutex lock;
    std::map<std::string, std::unique_ptr<Identifier>> strings;
    std::map<int32_t, std::unique_ptr<Identifier>> numbers;
};

IdentifierTable& Identifiers() {
    static IdentifierTable* table = new IdentifierTable;
    return *table;
}

const Identifier* Lookup(NPIdentifier identifier) {
    return static_cast<const Identifier*>(identifier);
}

// Objects made by CreateObject and not yet deallocated, with their instance.
struct ObjectTable {
    std::mutex lock;
    std::map<NPObject*, NPP> live;
    std::optional<std::string> exception;
};

ObjectTable& Objects() {
    static ObjectTable* table = new ObjectTable;
    return *table;
}

bool Callable(NPObject* obj) {
    return obj != nullptr && obj->_class != nullptr;
}

// Holds an object for the length of a call into it, which may release it.
class Hold {
public:
    explicit Hold(NPObject* obj) : object(RetainObject(obj)) {}
    ~Hold() { ReleaseObject(object); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    NPObject* object;
};

}  // namespace

void* MemAlloc(uint32_t size) {
    return std::malloc(size == 0 ? 1 : size);
}
void MemFree(void* ptr) {
    std::free(ptr);
}
uint32_t MemFlush(uint32_t) {
    return 0;
}

NPIdentifier GetStringIdentifier(const NPUTF8* name) {
    if (name == nullptr) {
        return nullptr;
    }
    IdentifierTable& table = Identifiers();
    std::lock_guard<std::mutex> guard(table.lock);
    auto& slot = table.strings[name];
    if (!slot) {
        slot = std::make_unique<Identifier>(Identifier{true, name, 0});
    }
    return slot.get();
}

void GetStringIdentifiers(const NPUTF8** names, int32_t nameCount, NPIdentifier* identifiers) {
    if (names == nullptr || identifiers == nullptr) {
        return;
    }
    for (int32_t i = 0; i < nameCount; ++i) {
        identifiers[i] = GetStringIdentifier(names[i]);
    }
}

NPIdentifier GetIntIdentifier(int32_t intid) {
    IdentifierTable& table = Identifiers();
    std::lock_guard<std::mutex> guard(table.lock);
    auto& slot = table.numbers[intid];
    if (!slot) {
        slot = std::make_unique<Identifier>(Identifier{false, {}, intid});
    }
    return slot.get();
}

bool IdentifierIsString(NPIdentifier identifier) {
    return identifier != nullptr && Lookup(identifier)->isString;
}

NPUTF8* UTF8FromIdentifier(NPIdentifier identifier) {
    if (!IdentifierIsString(identifier)) {
        return nullptr;
    }
    const std::string& name = Lookup(identifier)->name;
    auto* copy = static_cast<NPUTF8*>(MemAlloc(static_cast<uint32_t>(name.size() + 1)));
    if (copy != nullptr) {
        std::memcpy(copy, name.c_str(), name.size() + 1);
    }
    return copy;
}

int32_t IntFromIdentifier(NPIdentifier identifier) {
    if (identifier == nullptr || Lookup(identifier)->isString) {
        return INT32_MIN;
    }
    return Lookup(identifier)->number;
}

std::string IdentifierName(NPIdentifier identifier) {
    return IdentifierIsString(identifier) ? Lookup(identifier)->name : std::string();
}

NPObject* CreateObject(NPP npp, NPClass* aClass) {
    if (aClass == nullptr) {
        return nullptr;
    }
    NPObject* obj = aClass->allocate != nullptr
                        ? aClass->allocate(npp, aClass)
                        : static_cast<NPObject*>(MemAlloc(sizeof(NPObject)));
    if (obj == nullptr) {
        return nullptr;
    }
    obj->_class = aClass;
    obj->referenceCount = 1;
    ObjectTable& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    table.live[obj] = npp;
    return obj;
}

NPObject* RetainObject(NPObject* obj) {
    if (obj != nullptr) {
        ++obj->referenceCount;
    }
    return obj;
}

void ReleaseObject(NPObject* obj) {
    if (obj == nullptr || obj->referenceCount == 0) {
        return;
    }
    if (--obj->referenceCount != 0) {
        return;
    }
    {
        ObjectTable& table = Objects();
        std::lock_guard<std::mutex> guard(table.lock);
        table.live.erase(obj);
    }
    if (obj->_class != nullptr && obj->_class->deallocate != nullptr) {
        obj->_class->deallocate(obj);
    } else {
        MemFree(obj);
    }
}

void InvalidateObjectsOf(NPP npp) {
    std::map<NPObject*, NPP> live;
    {
        ObjectTable& table = Objects();
        std::lock_guard<std::mutex> guard(table.lock);
        live = table.live;
    }
    for (const auto& [obj, owner] : live) {
        if (owner == npp && obj->_class != nullptr && obj->_class->invalidate != nullptr) {
            obj->_class->invalidate(obj);
        }
    }
}

size_t LiveObjectCount() {
    ObjectTable& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    return table.live.size();
}

bool Invoke(NPP, NPObject* obj, NPIdentifier methodName, const NPVariant* args, uint32_t argCount,
            NPVariant* result) {
    if (!Callable(obj) || obj->_class->invoke == nullptr || result == nullptr) {
        return false;
    }
    VOID_TO_NPVARIANT(*result);
    Hold hold(obj);
    return obj->_class->invoke(obj, methodName, args, argCount, result);
}

bool InvokeDefault(NPP, NPObject* obj, const NPVariant* args, uint32_t argCount,
                   NPVariant* result) {
    if (!Callable(obj) || obj->_class->invokeDefault == nullptr || result == nullptr) {
        return false;
    }
    VOID_TO_NPVARIANT(*result);
    Hold hold(obj);
    return obj->_class->invokeDefault(obj, args, argCount, result);
}

bool Construct(NPP, NPObject* obj, const NPVariant* args, uint32_t argCount, NPVariant* result) {
    if (!Callable(obj) || obj->_class->structVersion < NP_CLASS_STRUCT_VERSION_CTOR ||
        obj->_class->construct == nullptr || result == nullptr) {
        return false;
    }
    VOID_TO_NPVARIANT(*result);
    Hold hold(obj);
    return obj->_class->construct(obj, args, argCount, result);
}

bool GetProperty(NPP, NPObject* obj, NPIdentifier propertyName, NPVariant* result) {
    if (!Callable(obj) || obj->_class->getProperty == nullptr || result == nullptr) {
        return false;
    }
    VOID_TO_NPVARIANT(*result);
    Hold hold(obj);
    return obj->_class->getProperty(obj, propertyName, result);
}

bool SetProperty(NPP, NPObject* obj, NPIdentifier propertyName, const NPVariant* value) {
    if (!Callable(obj) || obj->_class->setProperty == nullptr || value == nullptr) {
        return false;
    }
    Hold hold(obj);
    return obj->_class->setProperty(obj, propertyName, value);
}

bool RemoveProperty(NPP, NPObject* obj, NPIdentifier propertyName) {
    if (!Callable(obj) || obj->_class->removeProperty == nullptr) {
        return false;
    }
    Hold hold(obj);
    return obj->_class->removeProperty(obj, propertyName);
}

bool HasProperty(NPP, NPObject* obj, NPIdentifier propertyName) {
    if (!Callable(obj) || obj->_class->hasProperty == nullptr) {
        return false;
    }
    Hold hold(obj);
    return obj->_class->hasProperty(obj, propertyName);
}

bool HasMethod(NPP, NPObject* obj, NPIdentifier methodName) {
    if (!Callable(obj) || obj->_class->hasMethod == nullptr) {
        return false;
    }
    Hold hold(obj);
    return obj->_class->hasMethod(obj, methodName);
}

bool Enumerate(NPP, NPObject* obj, NPIdentifier** identifiers, uint32_t* count) {
    if (!Callable(obj) || obj->_class->structVersion < NP_CLASS_STRUCT_VERSION_ENUM ||
        obj->_class->enumerate == nullptr || identifiers == nullptr || count == nullptr) {
        return false;
    }
    Hold hold(obj);
    return obj->_class->enumerate(obj, identifiers, count);
}

void ReleaseVariantValue(NPVariant* variant) {
    if (variant == nullptr) {
        return;
    }
    if (variant->type == NPVariantType_String) {
        MemFree(const_cast<NPUTF8*>(variant->value.stringValue.UTF8Characters));
    } else if (variant->type == NPVariantType_Object) {
        ReleaseObject(variant->value.objectValue);
    }
    VOID_TO_NPVARIANT(*variant);
}

void SetException(NPObject*, const NPUTF8* message) {
    ObjectTable& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    table.exception = message != nullptr ? message : "";
}

std::optional<std::string> TakeException() {
    ObjectTable& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    std::optional<std::string> exception = std::move(table.exception);
    table.exception.reset();
    return exception;
}

}  // namespace browser
