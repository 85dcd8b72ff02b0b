// The VST 3 SDK's class factory CPluginFactory, which the Debian subset lacks,
// with the SDK's names and the helpers its entry-point macros expect.
#pragma once

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/vst/ivstcomponent.h" // BEGIN_FACTORY_DEF

#include <vector>

namespace Steinberg {

class CPluginFactory : public IPluginFactory3 {
public:
    using CreateFunc = FUnknown* (*)(void* context);

    explicit CPluginFactory(const PFactoryInfo& info);
    virtual ~CPluginFactory();

    CPluginFactory(const CPluginFactory&) = delete;
    CPluginFactory& operator=(const CPluginFactory&) = delete;

    // Each returns false (and registers nothing) for a null info or create function.
    // createFunc returns a new object holding one reference, or null on failure.
    bool registerClass(const PClassInfo* info, CreateFunc createFunc, void* context = nullptr);
    bool registerClass(const PClassInfo2* info, CreateFunc createFunc, void* context = nullptr);
    bool registerClass(const PClassInfoW* info, CreateFunc createFunc, void* context = nullptr);

    bool isClassRegistered(const FUID& cid) const;

    // Not reference-counted for the caller; null until setHostContext.
    FUnknown* getHostContext() const { return hostContext.get(); }

    //---from IPluginFactory------
    tresult PLUGIN_API getFactoryInfo(PFactoryInfo* info) SMTG_OVERRIDE;
    int32 PLUGIN_API countClasses() SMTG_OVERRIDE;
    tresult PLUGIN_API getClassInfo(int32 index, PClassInfo* info) SMTG_OVERRIDE;
    // Hands out exactly one reference through the interface asked for. An object
    // that does not offer it is destroyed again and kNoInterface returned; an
    // unregistered class gives kInvalidArgument. *obj is null on every failure.
    tresult PLUGIN_API createInstance(FIDString cid, FIDString iid, void** obj) SMTG_OVERRIDE;

    //---from IPluginFactory2-----
    tresult PLUGIN_API getClassInfo2(int32 index, PClassInfo2* info) SMTG_OVERRIDE;

    //---from IPluginFactory3-----
    tresult PLUGIN_API getClassInfoUnicode(int32 index, PClassInfoW* info) SMTG_OVERRIDE;
    // Keeps a reference to the context until replaced or the factory is destroyed.
    tresult PLUGIN_API setHostContext(FUnknown* context) SMTG_OVERRIDE;

    DECLARE_FUNKNOWN_METHODS

protected:
    struct PClassEntry {
        PClassInfo2 info8;
        PClassInfoW info16;
        CreateFunc createFunc;
        void* context;
        bool isUnicode; // registered as PClassInfoW: no ASCII description
    };

    const PClassEntry* entryAt(int32 index) const;

    PFactoryInfo factoryInfo;
    std::vector<PClassEntry> classes;
    IPtr<FUnknown> hostContext;
};

// The library's one factory while it lives; the factory clears it on destruction
// so that the next GetPluginFactory call builds a new one.
extern CPluginFactory* gPluginFactory;

} // namespace Steinberg

// Entry-point macros as the SDK spells them, used after BEGIN_FACTORY_DEF
// (pluginterfaces/vst/ivstcomponent.h):
//   BEGIN_FACTORY_DEF (vendor, url, email)
//   DEF_CLASS2 (INLINE_UID (...), cardinality, category, name, classFlags,
//               subCategories, version, sdkVersion, createFunc)
//   END_FACTORY
#define DEF_CLASS2(cid, cardinality, category, name, classFlags, subCategories, version,           \
                   sdkVersion, createMethod)                                                       \
    {                                                                                              \
        ::Steinberg::TUID lcid = cid;                                                              \
        static ::Steinberg::PClassInfo2 componentClass(lcid, cardinality, category, name,          \
                                                       classFlags, subCategories, nullptr,         \
                                                       version, sdkVersion);                       \
        gPluginFactory->registerClass(&componentClass, createMethod);                              \
    }

#define END_FACTORY                                                                                \
    }                                                                                              \
    else gPluginFactory->addRef();                                                                 \
    return gPluginFactory;                                                                         \
    }
