// The attributes of the Attributes record that Attribute() sets by name, and saved attribute
// states.
#include <OpenImageIO/ustring.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "core/api/raytracer.h"

namespace ovo {

namespace {

const struct {
    const char* word;
    unsigned bits;
} Categories[] = {
    {"C", CategoryColor},
    {"opacity", CategoryOpacity},
    {"orientation", CategoryOrientation},
    {"twosided", CategoryTwoSided},
    {"transform", CategoryTransform},
    {"trimcurve:sense", CategoryTrimSense},
    {"light:nsamples", CategoryLightSamples},
    {"shadow:bias", CategoryShadowBias},
    {"volume", CategoryVolume},
    {"surface", CategorySurface},
    {"displacement", CategoryDisplacement},
    {"lights", CategoryLights},
    {"shaders", CategoryShaders},
    {"trimcurve", CategoryTrimCurves},
    {"occlusion:maxerror", CategoryOcclusionMaxError},
    {"occlusion:maxpixeldist", CategoryOcclusionMaxPixelDistance},
    {"occlusion:minsamples", CategoryOcclusionMinSamples},
    {"indirect:maxerror", CategoryIndirectMaxError},
    {"indirect:maxpixeldist", CategoryIndirectMaxPixelDistance},
    {"indirect:minsamples", CategoryIndirectMinSamples},
};

inline bool is(const char* name, const char* word) { return std::strcmp(name, word) == 0; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// The attributes of the Attributes record

bool Raytracer::applyAttribute(const char* name, int value) {
    Attributes& a = getAttributes();
    if (is(name, "twosided")) {
        a.twoSided = value != 0;
    } else if (is(name, "light:nsamples")) {
        a.lightSamples = std::max(value, 1);
    } else if (is(name, "ray:camera")) {
        a.writableShading().rayCamera = value != 0;
    } else if (is(name, "ray:shadows")) {
        a.writableShading().rayShadows = value != 0;
    } else if (is(name, "ray:diffuse")) {
        a.writableShading().rayDiffuse = value != 0;
    } else if (is(name, "ray:reflections")) {
        a.writableShading().rayReflections = value != 0;
    } else if (is(name, "ray:opaqueshadows")) {
        a.writableShading().transparentShadows = value == 0;
    } else if (is(name, "occlusion:minsamples")) {
        a.occlusionMinSamples = value;
    } else if (is(name, "indirect:minsamples")) {
        a.indirectMinSamples = value;
    } else {
        return false;
    }
    return true;
}

bool Raytracer::applyAttribute(const char* name, float value) {
    Attributes& a = getAttributes();
    if (is(name, "shadow:bias")) {
        a.shadowBias = value;
    } else if (is(name, "occlusion:maxerror")) {
        a.occlusionMaxError = value;
    } else if (is(name, "occlusion:maxpixeldist")) {
        a.occlusionMaxPixelDistance = value;
    } else if (is(name, "indirect:maxerror")) {
        a.indirectMaxError = value;
    } else if (is(name, "indirect:maxpixeldist")) {
        a.indirectMaxPixelDistance = value;
    } else {
        return false;
    }
    return true;
}

bool Raytracer::applyAttribute(const char* name, const float* value) {
    if (is(name, "C")) {
        getAttributes().writableShading().C = Color(value[0], value[1], value[2]);
    } else if (is(name, "opacity")) {
        getAttributes().writableShading().opacity = Color(value[0], value[1], value[2]);
    } else if (is(name, "detail:bound")) {
        LevelOfDetail& level = getAttributes().detail;
        placeBound(getCurrentTransform(), value, level.corners);
        level.hasBound = true;
    } else if (is(name, "detail:range")) {
        if (!(value[0] <= value[1] && value[1] <= value[2] && value[2] <= value[3])) {
            errorManager->Error(
                "Attribute: \"detail:range\" needs minvisible <= lowertransition <= "
                "uppertransition <= maxvisible. Skipping ...");
        } else {
            std::copy(value, value + 4, getAttributes().detail.range);
        }
    } else if (is(name, "motion:window")) {
        if (!(value[0] < value[1])) {
            errorManager->Error(
                "Attribute: \"motion:window\" needs its opening time before its closing time. "
                "Skipping ...");
        } else {
            std::copy(value, value + 2, getAttributes().timeWindow);
        }
    } else {
        return false;
    }
    return true;
}

bool Raytracer::applyAttribute(const char* name, const char* value) {
    Attributes& a = getAttributes();
    if (is(name, "orientation")) {
        setOrientation(value);
    } else if (is(name, "light:shadows")) {
        if (is(value, "on")) {
            a.lightShadows = true;
        } else if (is(value, "off")) {
            a.lightShadows = false;
        } else {
            errorManager->Warning(
                "Valid arguments for \"light:shadows\" are \"on/off\". Received \"%s\". "
                "Skipping ...",
                value);
        }
    } else if (is(name, "trimcurve:sense")) {
        if (is(value, "inside")) {
            a.trimSenseInside = true;
        } else if (is(value, "outside")) {
            a.trimSenseInside = false;
        } else {
            errorManager->Warning(
                "Valid arguments for \"trimcurve:sense\" are \"inside/outside\". Received "
                "\"%s\". Skipping ...",
                value);
        }
    } else if (is(name, "geometryset")) {
        setGeometrySets(value);
    } else {
        return false;
    }
    return true;
}

void Raytracer::setOrientation(const char* value) {
    Attributes& a = getAttributes();
    if (is(value, "outside")) {
        a.orientationInside = false;
    } else if (is(value, "inside")) {
        a.orientationInside = true;
    } else if (is(value, "lh") || is(value, "rh")) {
        // Relative to the camera: inside when exactly one of the camera space and the current
        // transformation mirrors space.
        auto camera = namedSpaces.find(OIIO::ustring("camera"));
        const bool cameraSwaps = camera != namedSpaces.end() && !camera->second.isLeftHanded();
        const bool currentSwaps = !getCurrentTransform().isLeftHanded();
        const bool inside = cameraSwaps != currentSwaps;
        a.orientationInside = is(value, "lh") ? inside : !inside;
    } else if (is(value, "reverse")) {
        a.orientationInside = !a.orientationInside;
    } else {
        errorManager->Warning(
            "Valid arguments for \"orientation\" are \"outside/inside/lh/rh/reverse\".Received "
            "\"%s\". Skipping ...",
            value);
    }
}

void Raytracer::setGeometrySets(const char* value) {
    std::set<OIIO::ustring>& sets = getAttributes().geometrySets;
    const char* p = value;
    for (;;) {
        const char* comma = std::strchr(p, ',');
        const std::string word = comma ? std::string(p, comma) : std::string(p);
        if (!word.empty() && word[0] == '+') {
            if (word.size() > 1) sets.insert(OIIO::ustring(word.substr(1)));
        } else if (!word.empty() && word[0] == '-') {
            sets.erase(OIIO::ustring(word.substr(1)));
        } else {
            // A plain name replaces the sets; an empty one leaves none.
            sets.clear();
            if (!word.empty()) sets.insert(OIIO::ustring(word));
        }
        if (!comma) break;
        p = comma + 1;
    }
}

// ---------------------------------------------------------------------------------------------
// Saved attribute states

unsigned Raytracer::parseCategories(const char* categories) {
    if (!categories) return CategoryAll;
    unsigned mask = 0;
    const char* p = categories;
    for (;;) {
        const char* comma = std::strchr(p, ',');
        const std::string word = comma ? std::string(p, comma) : std::string(p);
        bool known = false;
        for (const auto& category : Categories) {
            if (word == category.word) {
                mask |= category.bits;
                known = true;
                break;
            }
        }
        if (!known)
            errorManager->Error("Save/RestoreAttributes: unknown attribute \"%s\"", word.c_str());
        if (!comma) break;
        p = comma + 1;
    }
    return mask;
}

void Raytracer::SaveAttributes(const char* name, const char* categories) {
    const std::string state = name ? name : "";
    const unsigned mask = parseCategories(categories);
    if (mask & CategoryTransform) namedSpaces[OIIO::ustring(state)] = getCurrentTransform();
    SavedAttributes& saved = savedAttributes[state];
    saved.attributes = getAttributes();
    saved.mask = mask;
}

void applySavedAttributes(Attributes& to, const Attributes& from, unsigned mask) {
    if (mask & CategoryColor) to.writableShading().C = from.color();
    if (mask & CategoryOpacity) to.writableShading().opacity = from.opacity();
    if (mask & CategoryOrientation) to.orientationInside = from.orientationInside;
    if (mask & CategoryTwoSided) to.twoSided = from.twoSided;
    if (mask & CategoryTrimSense) to.trimSenseInside = from.trimSenseInside;
    if (mask & CategoryLightSamples) to.lightSamples = from.lightSamples;
    if (mask & CategoryShadowBias) to.shadowBias = from.shadowBias;
    if (mask & CategoryVolume) to.volume = from.volume;
    if (mask & CategorySurface) to.surface = from.surface;
    if (mask & CategoryDisplacement) to.displacement = from.displacement;
    if (mask & CategoryLights) to.lights = from.lights;
    if (mask & CategoryTrimCurves) to.trimCurves = from.trimCurves;
    if (mask & CategoryOcclusionMaxError) to.occlusionMaxError = from.occlusionMaxError;
    if (mask & CategoryOcclusionMaxPixelDistance)
        to.occlusionMaxPixelDistance = from.occlusionMaxPixelDistance;
    if (mask & CategoryOcclusionMinSamples) to.occlusionMinSamples = from.occlusionMinSamples;
    if (mask & CategoryIndirectMaxError) to.indirectMaxError = from.indirectMaxError;
    if (mask & CategoryIndirectMaxPixelDistance)
        to.indirectMaxPixelDistance = from.indirectMaxPixelDistance;
    if (mask & CategoryIndirectMinSamples) to.indirectMinSamples = from.indirectMinSamples;
    if (mask & CategoryUser) to.userAttributes = from.userAttributes;
}

void Raytracer::RestoreAttributes(const char* name, const char* categories) {
    const std::string state = name ? name : "";
    auto found = savedAttributes.find(state);
    if (found == savedAttributes.end()) {
        errorManager->Error("RestoreAttributes: unknown attribute state \"%s\"", state.c_str());
        return;
    }
    const SavedAttributes& saved = found->second;
    unsigned mask = categories ? parseCategories(categories) : saved.mask;
    if (mask & ~saved.mask) {
        errorManager->Warning(
            "RestoreAttributes: missing attributes from state \"%s\"\tPerforming partial restore",
            state.c_str());
        mask &= saved.mask;
    }

    const Attributes& from = saved.attributes;
    Attributes& to = getAttributes();
    if (mask & CategoryTransform) SetTransform(state.c_str());
    applySavedAttributes(to, from, mask);
}

}  // namespace ovo
