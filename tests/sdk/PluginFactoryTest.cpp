#include "sdk/pluginfactory.h"

#include "base/source/fobject.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <gtest/gtest.h>

#include <new>

#include <cstring>
#include <string>

using namespace Steinberg;

namespace {

std::u16string u16(const char16* s) {
    return std::u16string(s);
}

uint32 refCount(FUnknown* object) {
    object->addRef();
    return object->release();
}

// Offers IPluginBase but not IComponent; counts its constructions and destructions.
class Counted : public FObject, public IPluginBase {
public:
    Counted() { ++created; }
    ~Counted() override { ++destroyed; }
    tresult PLUGIN_API initialize(FUnknown*) SMTG_OVERRIDE { return kResultOk; }
    tresult PLUGIN_API terminate() SMTG_OVERRIDE { return kResultOk; }

    OBJ_METHODS(Counted, FObject)
    DEFINE_INTERFACES
    DEF_INTERFACE(IPluginBase)
    END_DEFINE_INTERFACES(FObject)
    REFCOUNT_METHODS(FObject)

    static inline int created = 0;
    static inline int destroyed = 0;
    static inline void* lastContext = nullptr;

    static FUnknown* create(void* context) {
        lastContext = context;
        return static_cast<IPluginBase*>(new Counted);
    }
};

FUnknown* createNothing(void*) {
    return nullptr;
}

FUnknown* createOutOfMemory(void*) {
    throw std::bad_alloc();
}

const TUID kFirstUid = INLINE_UID(0x5A1C3E97, 0x0B64D2F1, 0x93E8A74C, 0x1F2D6B85);
const TUID kSecondUid = INLINE_UID(0x6E27B4D0, 0xA9C35F18, 0x2478E1B6, 0xD05B9C3A);
const TUID kUnknownUid = INLINE_UID(0x01020304, 0x05060708, 0x090A0B0C, 0x0D0E0F10);

PFactoryInfo testFactoryInfo() {
    return PFactoryInfo("Test Vendor", "https://vendor.example", "mailto:info@vendor.example",
                        Vst::kDefaultFactoryFlags);
}

PClassInfo2 firstClass() {
    return PClassInfo2(kFirstUid, PClassInfo::kManyInstances, kVstAudioEffectClass, "First",
                       Vst::kDistributable, "Fx|Gate", nullptr, "1.8.0.1", "VST 3.5.2");
}

PClassInfo2 secondClass() {
    return PClassInfo2(kSecondUid, PClassInfo::kManyInstances, kVstComponentControllerClass,
                       "Second", 0, "", "Other Vendor", "2.0", "VST 3.5.2");
}

// Holds the creation reference of a factory with the two classes above.
struct PluginFactory : ::testing::Test {
    CPluginFactory* factory = new CPluginFactory(testFactoryInfo());
    int context = 0;

    PluginFactory() {
        PClassInfo2 a = firstClass();
        PClassInfo2 b = secondClass();
        EXPECT_TRUE(factory->registerClass(&a, Counted::create, &context));
        EXPECT_TRUE(factory->registerClass(&b, Counted::create));
    }
    ~PluginFactory() override {
        if (factory)
            factory->release();
    }
};

} // namespace

TEST_F(PluginFactory, ReportsFactoryAndClassInfosInAsciiAndUtf16) {
    PFactoryInfo info;
    ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, "Test Vendor");
    EXPECT_STREQ(info.url, "https://vendor.example");
    EXPECT_STREQ(info.email, "mailto:info@vendor.example");
    EXPECT_EQ(info.flags, 16);
    EXPECT_EQ(factory->getFactoryInfo(nullptr), kInvalidArgument);

    ASSERT_EQ(factory->countClasses(), 2);

    PClassInfo c1;
    ASSERT_EQ(factory->getClassInfo(0, &c1), kResultOk);
    EXPECT_EQ(std::memcmp(c1.cid, kFirstUid, sizeof(TUID)), 0);
    EXPECT_EQ(c1.cardinality, PClassInfo::kManyInstances);
    EXPECT_STREQ(c1.category, "Audio Module Class");
    EXPECT_STREQ(c1.name, "First");

    PClassInfo2 c2;
    ASSERT_EQ(factory->getClassInfo2(1, &c2), kResultOk);
    EXPECT_EQ(std::memcmp(c2.cid, kSecondUid, sizeof(TUID)), 0);
    EXPECT_STREQ(c2.category, "Component Controller Class");
    EXPECT_STREQ(c2.name, "Second");
    EXPECT_EQ(c2.classFlags, 0u);
    EXPECT_STREQ(c2.subCategories, "");
    EXPECT_STREQ(c2.vendor, "Other Vendor");
    EXPECT_STREQ(c2.version, "2.0");
    EXPECT_STREQ(c2.sdkVersion, "VST 3.5.2");

    PClassInfoW w;
    ASSERT_EQ(factory->getClassInfoUnicode(0, &w), kResultOk);
    EXPECT_EQ(std::memcmp(w.cid, kFirstUid, sizeof(TUID)), 0);
    EXPECT_EQ(w.cardinality, PClassInfo::kManyInstances);
    EXPECT_STREQ(w.category, "Audio Module Class");
    EXPECT_EQ(u16(w.name), u"First");
    EXPECT_EQ(w.classFlags, 1u);
    EXPECT_STREQ(w.subCategories, "Fx|Gate");
    EXPECT_EQ(u16(w.vendor), u"");
    EXPECT_EQ(u16(w.version), u"1.8.0.1");
    EXPECT_EQ(u16(w.sdkVersion), u"VST 3.5.2");

    for (int32 bad : {-1, 2}) {
        EXPECT_EQ(factory->getClassInfo(bad, &c1), kInvalidArgument);
        EXPECT_EQ(factory->getClassInfo2(bad, &c2), kInvalidArgument);
        EXPECT_EQ(factory->getClassInfoUnicode(bad, &w), kInvalidArgument);
    }
    EXPECT_EQ(factory->getClassInfo2(0, nullptr), kInvalidArgument);

    EXPECT_TRUE(factory->isClassRegistered(FUID::fromTUID(kSecondUid)));
    EXPECT_FALSE(factory->isClassRegistered(FUID::fromTUID(kUnknownUid)));
}

TEST_F(PluginFactory, ConvertsFullLengthFieldsAndOtherInfoVersions) {
    // A name that fills its 64-byte field leaves no terminator in the ASCII info;
    // the UTF-16 copy keeps 63 characters, terminates, and spills into nothing.
    std::string longName(PClassInfo::kNameSize + 10, 'x');
    PClassInfo2 full(kUnknownUid, 1, "Service", longName.c_str(), 0x5A, "Sub", "V", "1", "S");
    ASSERT_TRUE(factory->registerClass(&full, Counted::create));
    PClassInfoW w;
    ASSERT_EQ(factory->getClassInfoUnicode(2, &w), kResultOk);
    EXPECT_EQ(u16(w.name), std::u16string(PClassInfo::kNameSize - 1, u'x'));
    EXPECT_EQ(w.classFlags, 0x5Au);
    EXPECT_EQ(u16(w.vendor), u"V");

    // Version 1 info: the extra fields read back empty.
    PClassInfo v1(kUnknownUid, 3, "Service", "Old");
    ASSERT_TRUE(factory->registerClass(&v1, Counted::create));
    PClassInfo2 c2;
    ASSERT_EQ(factory->getClassInfo2(3, &c2), kResultOk);
    EXPECT_STREQ(c2.name, "Old");
    EXPECT_EQ(c2.cardinality, 3);
    EXPECT_EQ(c2.classFlags, 0u);
    EXPECT_STREQ(c2.version, "");
    ASSERT_EQ(factory->getClassInfoUnicode(3, &w), kResultOk);
    EXPECT_EQ(u16(w.name), u"Old");

    // Unicode-only info has no ASCII form.
    PClassInfoW uni(kUnknownUid, 1, "Service", u"Wide", 0, "", u"", u"1", u"S");
    ASSERT_TRUE(factory->registerClass(&uni, Counted::create));
    PClassInfo c1;
    EXPECT_EQ(factory->getClassInfo(4, &c1), kResultFalse);
    EXPECT_EQ(factory->getClassInfo2(4, &c2), kResultFalse);
    ASSERT_EQ(factory->getClassInfoUnicode(4, &w), kResultOk);
    EXPECT_EQ(u16(w.name), u"Wide");

    PClassInfo2 any = firstClass();
    EXPECT_FALSE(factory->registerClass(static_cast<const PClassInfo2*>(nullptr), Counted::create));
    EXPECT_FALSE(factory->registerClass(&any, nullptr));
    EXPECT_EQ(factory->countClasses(), 5);
}

TEST_F(PluginFactory, CreateInstanceHandsOutExactlyOneReference) {
    const int created = Counted::created;
    const int destroyed = Counted::destroyed;

    // Right interface: one reference, owned by the caller.
    void* obj = nullptr;
    ASSERT_EQ(factory->createInstance(kFirstUid, IPluginBase::iid, &obj), kResultOk);
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(Counted::lastContext, &context);
    auto* base = static_cast<IPluginBase*>(obj);
    EXPECT_EQ(refCount(base), 1u);
    EXPECT_EQ(base->initialize(nullptr), kResultOk);
    EXPECT_EQ(Counted::created, created + 1);
    EXPECT_EQ(base->release(), 0u);
    EXPECT_EQ(Counted::destroyed, destroyed + 1);

    // Wrong interface: the new object is destroyed again and nothing is handed out.
    obj = &obj;
    EXPECT_EQ(factory->createInstance(kSecondUid, Vst::IComponent::iid, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(Counted::lastContext, nullptr);
    EXPECT_EQ(Counted::created, created + 2);
    EXPECT_EQ(Counted::destroyed, destroyed + 2);

    // Unknown class: nothing is created.
    obj = &obj;
    EXPECT_EQ(factory->createInstance(kUnknownUid, IPluginBase::iid, &obj), kInvalidArgument);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(Counted::created, created + 2);

    EXPECT_EQ(factory->createInstance(kFirstUid, IPluginBase::iid, nullptr), kInvalidArgument);
    EXPECT_EQ(factory->createInstance(nullptr, IPluginBase::iid, &obj), kInvalidArgument);

    // A create function that fails yields no object.
    PClassInfo2 failing(kUnknownUid, 1, "Service", "Failing", 0, "", nullptr, "1", "S");
    ASSERT_TRUE(factory->registerClass(&failing, createNothing));
    obj = &obj;
    EXPECT_EQ(factory->createInstance(kUnknownUid, IPluginBase::iid, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);

    // Nor does one that runs out of memory, and nothing is thrown at the host.
    const TUID kThrowingUid = INLINE_UID(0x11121314, 0x15161718, 0x191A1B1C, 0x1D1E1F20);
    PClassInfo2 throwing(kThrowingUid, 1, "Service", "Throwing", 0, "", nullptr, "1", "S");
    ASSERT_TRUE(factory->registerClass(&throwing, createOutOfMemory));
    obj = &obj;
    EXPECT_EQ(factory->createInstance(kThrowingUid, IPluginBase::iid, &obj), kOutOfMemory);
    EXPECT_EQ(obj, nullptr);
}

TEST_F(PluginFactory, IsReferenceCountedThroughAllFactoryInterfaces) {
    ASSERT_EQ(refCount(factory), 1u);
    void* obj = nullptr;
    ASSERT_EQ(factory->queryInterface(IPluginFactory3::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<IPluginFactory3*>(factory));
    EXPECT_EQ(refCount(factory), 2u);
    static_cast<IPluginFactory3*>(obj)->release();

    for (const auto& iid : {IPluginFactory::iid, IPluginFactory2::iid, FUnknown::iid}) {
        obj = nullptr;
        ASSERT_EQ(factory->queryInterface(iid, &obj), kResultOk);
        ASSERT_NE(obj, nullptr);
        static_cast<FUnknown*>(obj)->release();
    }
    obj = &obj;
    EXPECT_EQ(factory->queryInterface(Vst::IComponent::iid, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(refCount(factory), 1u);

    // The kept global is cleared when its factory goes away.
    gPluginFactory = factory;
    factory->addRef();
    EXPECT_EQ(factory->release(), 1u);
    EXPECT_EQ(gPluginFactory, factory);
    EXPECT_EQ(factory->release(), 0u);
    factory = nullptr;
    EXPECT_EQ(gPluginFactory, nullptr);
}

TEST_F(PluginFactory, HoldsTheHostContextWithAReference) {
    auto* first = new Counted;
    auto* second = new Counted;
    const int destroyed = Counted::destroyed;
    FUnknown* firstUnknown = static_cast<IPluginBase*>(first);
    FUnknown* secondUnknown = static_cast<IPluginBase*>(second);

    EXPECT_EQ(factory->getHostContext(), nullptr);
    EXPECT_EQ(factory->setHostContext(firstUnknown), kResultOk);
    EXPECT_EQ(factory->getHostContext(), firstUnknown);
    EXPECT_EQ(refCount(firstUnknown), 2u);

    // Replacing the context gives the first one back.
    EXPECT_EQ(factory->setHostContext(secondUnknown), kResultOk);
    EXPECT_EQ(refCount(firstUnknown), 1u);
    EXPECT_EQ(refCount(secondUnknown), 2u);
    firstUnknown->release();
    EXPECT_EQ(Counted::destroyed, destroyed + 1);

    // The factory's destruction releases the context it still holds.
    secondUnknown->release();
    EXPECT_EQ(Counted::destroyed, destroyed + 1);
    factory->release();
    factory = nullptr;
    EXPECT_EQ(Counted::destroyed, destroyed + 2);
}
