#include "controller/againcontroller.h"

#include "controller/ParameterIds.h"
#include "controller/ParameterScaling.h"
#include "controller/Parameters.h"
#include "editor/againeditor.h"

#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/base/ustring.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace Steinberg {
namespace Vst {
namespace {

constexpr UnitID kBypassUnitId = 1;

// One 4-byte field of the processor state, kept as raw bytes: a switch
// field is read as a signed 32-bit integer and a value field as a float.
using StateField = std::array<unsigned char, 4>;

// Reads exactly one whole field. A stream that has ended may still report
// success while delivering fewer bytes; that counts as a failure.
bool readField(IBStream* stream, StateField& field) {
    int32 bytesRead = 0;
    return stream->read(field.data(), static_cast<int32>(field.size()), &bytesRead) == kResultOk &&
           bytesRead == static_cast<int32>(field.size());
}

} // namespace

againController::againController() {
    editors_.reserve(10);
}

againController::~againController() = default;

FUnknown* againController::createInstance(void* /*context*/) {
    return static_cast<IEditController*>(new againController);
}

tresult PLUGIN_API againController::initialize(FUnknown* context) {
    // The base only notices a second call when the host passed a context;
    // another round would publish every parameter and unit twice.
    if (initialized_) {
        return kResultFalse;
    }
    const tresult result = EditControllerEx1::initialize(context);
    if (result != kResultOk) {
        return result;
    }
    initialized_ = true;

    // The root unit is listed explicitly so that hosts see both units.
    addUnit(new Unit(UString128("Root"), kRootUnitId, kNoParentUnitId, kNoProgramListId));
    addUnit(new Unit(UString128("Unit1"), kBypassUnitId, kRootUnitId, kNoProgramListId));

    const velmora::ParameterScaling scaling;
    for (int id = velmora::kFirstSwitch; id <= velmora::kLastSwitch; ++id) {
        const bool isBypass = id == velmora::kBypass;
        const int32 flags = isBypass ? (ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass)
                                     : ParameterInfo::kCanAutomate;
        parameters.addParameter(new PlainParameter(UString128(velmora::paramTitle(id)), id, 1,
                                                   scaling.switchDefault(id) != 0 ? 1.0 : 0.0,
                                                   flags, isBypass ? kBypassUnitId : kRootUnitId));
    }
    for (int id = velmora::kFirstContinuous; id <= velmora::kLastContinuous; ++id) {
        parameters.addParameter(createScaledParameter(id, ParameterInfo::kCanAutomate));
    }
    for (int id = velmora::kFirstMeter; id <= velmora::kLastMeter; ++id) {
        parameters.addParameter(new PlainParameter(UString128(velmora::paramTitle(id)), id, 0, 0.0,
                                                   ParameterInfo::kIsReadOnly, kRootUnitId));
    }
    return kResultOk;
}

tresult PLUGIN_API againController::terminate() {
    editors_.clear();
    initialized_ = false;
    return EditControllerEx1::terminate();
}

tresult PLUGIN_API againController::setComponentState(IBStream* state) {
    if (!state) {
        return kResultOk;
    }

    // Nothing is applied until every field has arrived whole: a truncated
    // state would show values the processor does not hold.
    const velmora::ParameterScaling scaling;
    StateField fields[velmora::kNumStateParams];
    for (StateField& field : fields) {
        if (!readField(state, field)) {
            return kResultFalse;
        }
    }

    for (int id = 0; id < velmora::kNumStateParams; ++id) {
        ParamValue value = 0.0;
        if (velmora::isSwitch(id)) {
            value = std::bit_cast<int32>(fields[id]) != 0 ? 1.0 : 0.0;
        } else {
            // Read as the processor reads it: clamped to 0..1 by the
            // parameter, and a NaN, which the clamp lets through, shows the
            // start value.
            const float f = std::bit_cast<float>(fields[id]);
            value = std::isnan(f) ? scaling.defaultNormalized(id) : f;
        }
        setParamNormalized(id, value);
    }
    return kResultOk;
}

tresult PLUGIN_API againController::getParameterInfo(int32 paramIndex, ParameterInfo& info) {
    if (paramIndex < 0 || paramIndex >= getParameterCount()) {
        return kResultFalse;
    }
    return EditControllerEx1::getParameterInfo(paramIndex, info);
}

tresult PLUGIN_API againController::getUnitInfo(int32 unitIndex, UnitInfo& info) {
    if (unitIndex < 0 || unitIndex >= getUnitCount()) {
        return kResultFalse;
    }
    return EditControllerEx1::getUnitInfo(unitIndex, info);
}

tresult PLUGIN_API againController::setState(IBStream* state) {
    if (!state) {
        return kInvalidArgument;
    }
    int8 byteOrder = 0;
    tresult result = state->read(&byteOrder, sizeof byteOrder, nullptr);
    if (result != kResultOk) {
        return result;
    }
    result = state->read(messageText_, sizeof messageText_, nullptr);
    if (result != kResultOk) {
        return result;
    }
    // Written on a big-endian machine: swap every code unit.
    if (byteOrder != 0) {
        for (char16& unit : messageText_) {
            unit = static_cast<char16>(((unit & 0xff) << 8) | ((unit >> 8) & 0xff));
        }
    }
    return kResultOk;
}

tresult PLUGIN_API againController::getState(IBStream* state) {
    if (!state) {
        return kInvalidArgument;
    }
    // 0: the text follows in little-endian code units.
    int8 byteOrder = 0;
    if (state->write(&byteOrder, sizeof byteOrder, nullptr) != kResultOk) {
        return kResultFalse;
    }
    return state->write(messageText_, sizeof messageText_, nullptr);
}

tresult PLUGIN_API againController::getParamStringByValue(ParamID tag, ParamValue valueNormalized,
                                                          String128 string) {
    return EditControllerEx1::getParamStringByValue(tag, valueNormalized, string);
}

tresult PLUGIN_API againController::getParamValueByString(ParamID tag, TChar* string,
                                                          ParamValue& valueNormalized) {
    return EditControllerEx1::getParamValueByString(tag, string, valueNormalized);
}

tresult PLUGIN_API againController::setParamNormalized(ParamID tag, ParamValue value) {
    // The base clamps to 0..1 but lets a NaN through, which every later
    // reader (display, state, editors) would then carry. Infinities clamp.
    if (std::isnan(value)) {
        return kInvalidArgument;
    }
    const tresult result = EditControllerEx1::setParamNormalized(tag, value);
    // Index loop: an editor may detach itself while being updated.
    for (std::size_t i = 0; i < editors_.size(); ++i) {
        if (ParameterUpdateListener* editor = editors_[i]) {
            editor->updateParameter(tag, value);
        }
    }
    return result;
}

IPlugView* PLUGIN_API againController::createView(FIDString name) {
    if (!name || std::strcmp(name, ViewType::kEditor) != 0) {
        return nullptr;
    }
    // The editor joins the editor list when the host attaches it.
    return new againEditorView(this);
}

tresult PLUGIN_API againController::getMidiControllerAssignment(int32 busIndex, int16 /*channel*/,
                                                                CtrlNumber midiControllerNumber,
                                                                ParamID& id) {
    if (busIndex == 0 && midiControllerNumber == kCtrlVolume) {
        id = velmora::kInputLevel;
        return kResultTrue;
    }
    return kResultFalse;
}

tresult againController::receiveText(const char8* text) {
    if (text) {
        std::fprintf(stderr, "[againController] received: ");
        std::fprintf(stderr, "%s", text);
        std::fprintf(stderr, "\n");
    }
    return kResultOk;
}

void againController::editorAttached(EditorView* editor) {
    if (auto* listener = dynamic_cast<ParameterUpdateListener*>(editor)) {
        editors_.push_back(listener);
    }
}

void againController::editorRemoved(EditorView* editor) {
    auto* listener = dynamic_cast<ParameterUpdateListener*>(editor);
    if (!listener) {
        return;
    }
    const auto it = std::find(editors_.begin(), editors_.end(), listener);
    if (it != editors_.end()) {
        editors_.erase(it);
    }
}

} // namespace Vst
} // namespace Steinberg
