#include "sdk/pluginfactory.h"

#include <cstring>
#include <new>

namespace Steinberg {

CPluginFactory* gPluginFactory = nullptr;

namespace {

// Fixed-size ASCII field to UTF-16; the source need not be terminated (the SDK's
// info constructors fill a full field without one), the destination always is.
template <size_t N, size_t M> void asciiToUtf16(char16 (&dst)[N], const char8 (&src)[M]) {
    static_assert(N >= M);
    size_t i = 0;
    for (; i < M && i + 1 < N && src[i] != 0; ++i)
        dst[i] = static_cast<char16>(static_cast<unsigned char>(src[i]));
    for (; i < N; ++i)
        dst[i] = 0;
}

PClassInfoW toUnicode(const PClassInfo2& a) {
    PClassInfoW w;
    std::memcpy(w.cid, a.cid, sizeof(TUID));
    w.cardinality = a.cardinality;
    std::memcpy(w.category, a.category, sizeof(w.category));
    asciiToUtf16(w.name, a.name);
    w.classFlags = a.classFlags;
    std::memcpy(w.subCategories, a.subCategories, sizeof(w.subCategories));
    asciiToUtf16(w.vendor, a.vendor);
    asciiToUtf16(w.version, a.version);
    asciiToUtf16(w.sdkVersion, a.sdkVersion);
    return w;
}

} // namespace

CPluginFactory::CPluginFactory(const PFactoryInfo& info) : factoryInfo(info) {
    FUNKNOWN_CTOR;
}

CPluginFactory::~CPluginFactory() {
    if (gPluginFactory == this)
        gPluginFactory = nullptr;
    FUNKNOWN_DTOR;
}

IMPLEMENT_REFCOUNT(CPluginFactory)

tresult PLUGIN_API CPluginFactory::queryInterface(const TUID iid, void** obj) {
    QUERY_INTERFACE(iid, obj, IPluginFactory::iid, IPluginFactory)
    QUERY_INTERFACE(iid, obj, IPluginFactory2::iid, IPluginFactory2)
    QUERY_INTERFACE(iid, obj, IPluginFactory3::iid, IPluginFactory3)
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IPluginFactory)
    *obj = nullptr;
    return kNoInterface;
}

bool CPluginFactory::registerClass(const PClassInfo* info, CreateFunc createFunc, void* context) {
    if (!info || !createFunc)
        return false;
    PClassInfo2 info2;
    std::memcpy(info2.cid, info->cid, sizeof(TUID));
    info2.cardinality = info->cardinality;
    std::memcpy(info2.category, info->category, sizeof(info2.category));
    std::memcpy(info2.name, info->name, sizeof(info2.name));
    return registerClass(&info2, createFunc, context);
}

bool CPluginFactory::registerClass(const PClassInfo2* info, CreateFunc createFunc, void* context) {
    if (!info || !createFunc)
        return false;
    classes.push_back({*info, toUnicode(*info), createFunc, context, false});
    return true;
}

bool CPluginFactory::registerClass(const PClassInfoW* info, CreateFunc createFunc, void* context) {
    if (!info || !createFunc)
        return false;
    PClassInfo2 info8;
    std::memcpy(info8.cid, info->cid, sizeof(TUID));
    classes.push_back({info8, *info, createFunc, context, true});
    return true;
}

bool CPluginFactory::isClassRegistered(const FUID& cid) const {
    for (const auto& entry : classes)
        if (FUnknownPrivate::iidEqual(entry.info16.cid, cid.toTUID()))
            return true;
    return false;
}

const CPluginFactory::PClassEntry* CPluginFactory::entryAt(int32 index) const {
    if (index < 0 || index >= static_cast<int32>(classes.size()))
        return nullptr;
    return &classes[static_cast<size_t>(index)];
}

tresult PLUGIN_API CPluginFactory::getFactoryInfo(PFactoryInfo* info) {
    if (!info)
        return kInvalidArgument;
    *info = factoryInfo;
    return kResultOk;
}

int32 PLUGIN_API CPluginFactory::countClasses() {
    return static_cast<int32>(classes.size());
}

tresult PLUGIN_API CPluginFactory::getClassInfo(int32 index, PClassInfo* info) {
    const PClassEntry* entry = entryAt(index);
    if (!info || !entry)
        return kInvalidArgument;
    *info = PClassInfo();
    if (entry->isUnicode)
        return kResultFalse;
    std::memcpy(info->cid, entry->info8.cid, sizeof(TUID));
    info->cardinality = entry->info8.cardinality;
    std::memcpy(info->category, entry->info8.category, sizeof(info->category));
    std::memcpy(info->name, entry->info8.name, sizeof(info->name));
    return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfo2(int32 index, PClassInfo2* info) {
    const PClassEntry* entry = entryAt(index);
    if (!info || !entry)
        return kInvalidArgument;
    if (entry->isUnicode) {
        *info = PClassInfo2();
        return kResultFalse;
    }
    *info = entry->info8;
    return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfoUnicode(int32 index, PClassInfoW* info) {
    const PClassEntry* entry = entryAt(index);
    if (!info || !entry)
        return kInvalidArgument;
    *info = entry->info16;
    return kResultOk;
}

tresult PLUGIN_API CPluginFactory::createInstance(FIDString cid, FIDString iid, void** obj) {
    if (!obj)
        return kInvalidArgument;
    *obj = nullptr;
    if (!cid || !iid)
        return kInvalidArgument;
    for (const auto& entry : classes) {
        if (!FUnknownPrivate::iidEqual(entry.info16.cid, cid))
            continue;
        // Nothing may throw across the interface: a class that cannot be
        // built (out of memory, say) is reported as a result code.
        FUnknown* instance = nullptr;
        try {
            instance = entry.createFunc(entry.context);
        } catch (const std::bad_alloc&) {
            return kOutOfMemory;
        } catch (...) {
            return kInternalError;
        }
        if (!instance)
            return kNoInterface;
        // On success queryInterface added the caller's reference; dropping the
        // creation reference leaves exactly that one (or destroys the object).
        tresult result = instance->queryInterface(iid, obj);
        instance->release();
        if (result != kResultOk) {
            *obj = nullptr;
            return kNoInterface;
        }
        return kResultOk;
    }
    return kInvalidArgument;
}

tresult PLUGIN_API CPluginFactory::setHostContext(FUnknown* context) {
    hostContext = context;
    return kResultOk;
}

} // namespace Steinberg
