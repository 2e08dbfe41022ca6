#include <gtest/gtest.h>

#include <OpenImageIO/ustring.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/params/parameter.h"

using namespace ovo;

namespace {

// True when `p` points into the parameter object itself (the inline word).
bool storedInside(const Parameter& param, const void* p) {
    auto begin = reinterpret_cast<std::uintptr_t>(&param);
    auto at = reinterpret_cast<std::uintptr_t>(p);
    return at >= begin && at < begin + sizeof(Parameter);
}

// A heap copy of `text` that the test can free while a parameter still holds the string.
std::unique_ptr<char[]> heapString(const char* text) {
    std::unique_ptr<char[]> s(new char[std::strlen(text) + 1]);
    std::strcpy(s.get(), text);
    return s;
}

}  // namespace

TEST(Parameter, DefaultState) {
    Parameter p;
    EXPECT_EQ(p.name().c_str(), nullptr);
    EXPECT_EQ(p.type().bits(), 32u);  // base type 0, count 1, constant
    EXPECT_EQ(p.nvalues(), 0);
    EXPECT_EQ(p.datasize(), 0);
    EXPECT_FALSE(p.copied());
    EXPECT_FALSE(p.external());
    EXPECT_TRUE(storedInside(p, p.data()));
    EXPECT_EQ(p.getFloat(), 0.0f);
    EXPECT_EQ(p.getInt(), 0);
    EXPECT_EQ(p.getString(), nullptr);
}

TEST(Parameter, InlineStorage) {
    float fov = 45.0f;
    Parameter f("fov", ParamType(TypeFloat), 1, &fov, false);
    EXPECT_FALSE(f.external());
    EXPECT_FALSE(f.copied());
    EXPECT_TRUE(f.unused());
    EXPECT_TRUE(storedInside(f, f.data()));
    EXPECT_EQ(f.getFloats(), f.data());
    EXPECT_EQ(f.datasize(), 4);
    fov = 10.0f;  // the parameter holds its own value
    EXPECT_EQ(f.getFloat(), 45.0f);
    EXPECT_STREQ(f.name().c_str(), "fov");
    EXPECT_EQ(f.name(), OIIO::ustring("fov"));

    int n = -7;
    Parameter i(std::string("n"), ParamType(TypeInt), 1, &n, true);
    EXPECT_FALSE(i.external());
    EXPECT_FALSE(i.copied());  // copy requested, but a value that fits is never put on the heap
    EXPECT_EQ(i.getInt(), -7);

    // Up to four bytes of smaller integers fit; five do not.
    unsigned char bytes[5] = {1, 2, 3, 4, 5};
    Parameter b4("b", ParamType(TypeUInt8, 4), 1, bytes, false);
    EXPECT_FALSE(b4.external());
    EXPECT_EQ(std::memcmp(b4.data(), bytes, 4), 0);
    Parameter b5("b", ParamType(TypeUInt8, 5), 1, bytes, false);
    EXPECT_TRUE(b5.external());
    EXPECT_EQ(b5.data(), bytes);
    std::uint16_t halves[2] = {0x1234, 0xabcd};
    Parameter h("h", ParamType(TypeUInt16), 2, halves, false);  // two values of two bytes
    EXPECT_FALSE(h.external());
    EXPECT_EQ(std::memcmp(h.data(), halves, 4), 0);

    // The threshold is four bytes even though the word could hold eight.
    int pair[2] = {1, 2};
    Parameter ip("i", ParamType(TypeInt, 2), 1, pair, false);
    EXPECT_TRUE(ip.external());
    EXPECT_EQ(ip.getInts(), pair);

    // Null data gives a zero value.
    Parameter z("z", ParamType(TypeFloat), 1, nullptr, false);
    EXPECT_FALSE(z.external());
    EXPECT_EQ(z.getFloat(), 0.0f);
}

TEST(Parameter, ExternalAndCopiedStorage) {
    // Not constant, so never inline, even for a single float.
    float s[1] = {0.25f};
    Parameter ref("s", ParamType(TypeFloat, 1, InterpVertex), 1, s, false);
    EXPECT_TRUE(ref.external());
    EXPECT_FALSE(ref.copied());
    EXPECT_EQ(ref.getFloats(), s);
    s[0] = 0.5f;
    EXPECT_EQ(ref.getFloat(), 0.5f);

    float P[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    Parameter copy("P", ParamType(TypePoint, 1, InterpVertex), 4, P, true);
    EXPECT_TRUE(copy.external());
    EXPECT_TRUE(copy.copied());
    EXPECT_NE(copy.getFloats(), P);
    EXPECT_EQ(copy.datasize(), 48);
    P[5] = -1.0f;
    for (int k = 0; k < 12; ++k) EXPECT_EQ(copy.getFloats()[k], float(k));

    // Copying from nothing gives a zero-filled block of the full size.
    Parameter zeros("Cs", ParamType(TypeColor, 2), 3, nullptr, true);
    ASSERT_NE(zeros.getFloats(), nullptr);
    EXPECT_TRUE(zeros.copied());
    for (int k = 0; k < 18; ++k) EXPECT_EQ(zeros.getFloats()[k], 0.0f);

    // An open array always refers to the caller's data, copy or not.
    int knots[3] = {4, 5, 6};
    for (bool c : {false, true}) {
        Parameter open("k", ParamType(TypeInt, 0), 1, knots, c);
        EXPECT_TRUE(open.external());
        EXPECT_FALSE(open.copied());
        EXPECT_EQ(open.getInts(), knots);
        EXPECT_EQ(open.getInt(), 4);
        EXPECT_EQ(open.datasize(), 0);
    }

    EXPECT_EQ(Parameter("m", ParamType(TypeMatrix, 4), 3, nullptr, false).datasize(), 768);
    EXPECT_EQ(Parameter("s", ParamType(TypeString, 3), 2, nullptr, false).datasize(),
              int(6 * sizeof(char*)));
    EXPECT_EQ(Parameter("u", ParamType(BaseType(20), 4), 3, nullptr, true).datasize(), 0);

    // Reading the first element never goes past a block smaller than the element.
    signed char one = 9;
    Parameter tiny("t", ParamType(TypeInt8, 1, InterpVertex), 1, &one, true);
    EXPECT_EQ(tiny.getInt(), 0);
    Parameter none("n", ParamType(TypeFloat, 1, InterpVertex), 1, nullptr, false);
    EXPECT_EQ(none.getFloat(), 0.0f);
    EXPECT_EQ(none.getString(), nullptr);
}

TEST(Parameter, StringsAreInterned) {
    std::unique_ptr<char[]> buffer = heapString("catmull-rom");
    const char* value = buffer.get();
    Parameter single("basis", ParamType(TypeString), 1, &value, false);
    EXPECT_FALSE(single.external());
    EXPECT_EQ(single.getString(), OIIO::ustring("catmull-rom").c_str());
    buffer.reset();  // the caller's characters are gone; the parameter's are not
    EXPECT_STREQ(single.getString(), "catmull-rom");

    std::unique_ptr<char[]> a = heapString("first");
    std::unique_ptr<char[]> b = heapString("second");
    const char* strings[3] = {a.get(), nullptr, b.get()};

    Parameter shared("names", ParamType(TypeString, 3), 1, strings, false);
    EXPECT_TRUE(shared.external());
    EXPECT_EQ(shared.getStrings(), strings);
    EXPECT_EQ(shared.getStrings()[0], a.get());  // referred-to arrays keep the caller's pointers

    Parameter owned("names", ParamType(TypeString, 3), 1, strings, true);
    EXPECT_TRUE(owned.copied());
    EXPECT_EQ(owned.getStrings()[0], OIIO::ustring("first").c_str());
    EXPECT_EQ(owned.getStrings()[1], nullptr);
    EXPECT_EQ(owned.getStrings()[2], OIIO::ustring("second").c_str());
    a.reset();
    b.reset();
    EXPECT_STREQ(owned.getStrings()[0], "first");
    EXPECT_STREQ(owned.getString(), "first");

    const char* nothing = nullptr;
    EXPECT_EQ(Parameter("s", ParamType(TypeString), 1, &nothing, true).getString(), nullptr);
    EXPECT_EQ(Parameter("s", ParamType(TypeString), 1, nullptr, true).getString(), nullptr);
}

TEST(Parameter, CopyingAndReinitialising) {
    float P[6] = {1, 2, 3, 4, 5, 6};
    Parameter owner("P", ParamType(TypePoint, 1, InterpVertex), 2, P, true);
    owner.unused(false);

    Parameter deep(owner, true);
    EXPECT_TRUE(deep.copied());
    EXPECT_NE(deep.getFloats(), owner.getFloats());
    EXPECT_EQ(std::memcmp(deep.data(), P, sizeof(P)), 0);
    EXPECT_EQ(deep.name(), owner.name());
    EXPECT_EQ(deep.type(), owner.type());
    EXPECT_EQ(deep.nvalues(), 2);
    EXPECT_TRUE(deep.unused());

    Parameter view(owner, false);
    EXPECT_FALSE(view.copied());
    EXPECT_EQ(view.getFloats(), owner.getFloats());

    // A plain copy and an assignment own a block exactly when the source does.
    Parameter plain(owner);
    EXPECT_TRUE(plain.copied());
    EXPECT_NE(plain.getFloats(), owner.getFloats());
    Parameter assigned;
    assigned = view;
    EXPECT_FALSE(assigned.copied());
    EXPECT_EQ(assigned.getFloats(), owner.getFloats());
    assigned = owner;  // replaces a referring value by an owned one
    EXPECT_TRUE(assigned.copied());
    EXPECT_NE(assigned.getFloats(), owner.getFloats());
    EXPECT_EQ(assigned.getFloats()[5], 6.0f);

    float one = 3.5f;
    Parameter small("f", ParamType(TypeFloat), 1, &one, false);
    Parameter smallCopy(small, false);
    EXPECT_TRUE(storedInside(smallCopy, smallCopy.data()));
    EXPECT_EQ(smallCopy.getFloat(), 3.5f);

    assigned = assigned;  // self-assignment keeps the value
    EXPECT_TRUE(assigned.copied());
    EXPECT_EQ(assigned.getFloats()[0], 1.0f);

    // Re-initialising from the parameter's own block reads it before freeing it.
    assigned.unused(false);
    assigned.init(assigned.name(), assigned.type(), 2, assigned.data(), true);
    EXPECT_EQ(assigned.getFloats()[4], 5.0f);
    EXPECT_TRUE(assigned.unused());

    assigned.init("width", ParamType(TypeFloat), 1, &one, true);
    EXPECT_STREQ(assigned.name().c_str(), "width");
    EXPECT_FALSE(assigned.external());
    EXPECT_FALSE(assigned.copied());
    EXPECT_EQ(assigned.getFloat(), 3.5f);
    assigned.init(std::string("Cs"), ParamType(TypeColor), 1, P, false);
    EXPECT_EQ(assigned.getFloats(), P);
}

TEST(ParameterSet, TypedLookups) {
    ParameterSet set;
    float fov2[2] = {30.0f, 40.0f};
    float P[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    float N[3] = {0, 0, 1};
    float from[3] = {1, 2, 3};
    float color[3] = {0.5f, 0.25f, 1.0f};
    int ints[3] = {7, 8, 9};
    float width1 = 2.0f, width2 = 3.0f;
    int quality = 4;
    const char* name = "gaussian";
    set.push_back("fov", ParamType("float[2]"), fov2, false);
    set.push_back("P", ParamType("vertex point"), P, false);
    set.push_back("N", ParamType("vertex normal"), N, false);
    set.push_back("from", ParamType("point"), from, false);
    set.push_back("lightcolor", ParamType("color"), color, false);
    set.push_back("indices", ParamType("int[3]"), ints, false);
    set.push_back(OIIO::ustring("width"), ParamType("float"), &width1, false);
    set.push_back("width", ParamType("float"), &width2, false);
    set.push_back("quality", ParamType("int"), &quality, false);
    set.push_back("filter", ParamType("string"), &name, false);
    ASSERT_EQ(set.size(), 10u);

    // Base-type and open-array matching.
    EXPECT_EQ(set.find("P", TypePoint), set[1]);
    EXPECT_EQ(set.find("P", ParamType(TypePoint)), nullptr);
    EXPECT_EQ(set.find("P", ParamType("point[]")), set[1]);
    EXPECT_EQ(set.find("fov", ParamType("float[]")), set[0]);
    EXPECT_EQ(set.find("fov", ParamType("float[2]")), set[0]);
    EXPECT_EQ(set.find("fov", ParamType("vertex float[2]")), nullptr);
    EXPECT_EQ(set.find("indices", ParamType("vertex int[]")), set[5]);  // interpolation ignored
    EXPECT_EQ(set.find("P", TypeNormal), nullptr);
    EXPECT_EQ(set.find("p", TypePoint), nullptr);  // names are case-sensitive
    EXPECT_EQ(set.find(nullptr), nullptr);
    EXPECT_EQ(set.find(nullptr, TypeFloat), nullptr);

    // A count that differs with neither side open does not match.
    EXPECT_EQ(set.findFloat("fov", 90.0f), 90.0f);
    const float* f = set.findFloats("fov");
    ASSERT_EQ(f, fov2);
    EXPECT_EQ(f[1], 40.0f);

    EXPECT_EQ(set.findPoints("P"), P);
    EXPECT_EQ(set.findNormals("N"), N);
    EXPECT_EQ(set.findNormals("P"), nullptr);
    const float def[3] = {9, 9, 9};
    EXPECT_EQ(set.findPoint("from", def), from);
    EXPECT_EQ(set.findPoint("P", def), def);  // vertex is not constant
    EXPECT_EQ(set.findPoint("to", def), def);
    EXPECT_EQ(set.findColor("lightcolor", def), color);
    EXPECT_EQ(set.findColor("from", def), def);
    EXPECT_EQ(set.findColor("missing", nullptr), nullptr);
    EXPECT_EQ(set.findInts("indices"), ints);
    EXPECT_EQ(set.findInts("quality")[0], 4);
    EXPECT_EQ(set.findInt("quality", -1), 4);
    EXPECT_EQ(set.findInt("indices", -1), -1);
    EXPECT_EQ(set.findInt("width", -1), -1);  // a float is not an int
    EXPECT_EQ(set.findFloat("quality", 1.5f), 1.5f);
    EXPECT_STREQ(set.findString("filter", "box"), "gaussian");
    EXPECT_EQ(set.findString("filter", "box"), OIIO::ustring("gaussian").c_str());
    EXPECT_STREQ(set.findString("missing", "box"), "box");
    EXPECT_STREQ(set.findString("quality", "box"), "box");

    // The first of two parameters with one name wins, for every kind of lookup.
    EXPECT_EQ(set.findFloat("width", 0.0f), 2.0f);
    EXPECT_EQ(set.find("width"), set[6]);
    EXPECT_EQ(set.find("width", TypeFloat), set[6]);
    EXPECT_EQ(set.find("width", ParamType(TypeFloat)), set[6]);
    EXPECT_EQ(*set.findFloats("width"), 2.0f);
}

TEST(ParameterSet, UnusedFlag) {
    ParameterSet set;
    float v = 1.0f;
    set.push_back("a", ParamType(TypeFloat), &v, false);
    set.push_back("b", ParamType(TypeFloat), &v, false);
    set.push_back("c", ParamType(TypeColor), nullptr, true);

    EXPECT_EQ(set.find("a"), set[0]);
    EXPECT_TRUE(set[0]->unused());  // a name-only lookup does not count as use
    set.findFloat("a", 0.0f);
    EXPECT_FALSE(set[0]->unused());

    set.findInt("b", 0);  // wrong type: not found, still unused
    EXPECT_TRUE(set[1]->unused());
    set.find("b", TypeFloat);
    EXPECT_FALSE(set[1]->unused());

    set.findColor("c", nullptr);
    EXPECT_FALSE(set[2]->unused());
    set[2]->init("c", ParamType(TypeColor), 1, nullptr, true);
    EXPECT_TRUE(set[2]->unused());  // re-initialised
}

TEST(ParameterSet, CopyAssignAndAppend) {
    float big[4] = {1, 2, 3, 4};
    float small = 5.0f;
    std::unique_ptr<char[]> text = heapString("hello");
    const char* str = text.get();

    auto source = std::make_unique<ParameterSet>();
    source->push_back("big", ParamType(TypeFloat, 4), big, true);
    source->push_back("small", ParamType(TypeFloat), &small, false);
    source->push_back("s", ParamType(TypeString), &str, false);
    text.reset();

    // Copy construction: inline values and single strings copied, larger data shared.
    ParameterSet copy(*source);
    ASSERT_EQ(copy.size(), 3u);
    EXPECT_EQ(copy[0]->getFloats(), (*source)[0]->getFloats());
    EXPECT_FALSE(copy[0]->copied());
    EXPECT_NE(copy[1]->data(), (*source)[1]->data());
    (*source)[1]->getFloats()[0] = 6.0f;
    EXPECT_EQ(copy[1]->getFloat(), 5.0f);
    EXPECT_STREQ(copy[2]->getString(), "hello");
    EXPECT_STREQ(copy[2]->name().c_str(), "s");

    // Assignment is deep: the target keeps working after the source is gone.
    ParameterSet assigned;
    assigned.push_back("old", ParamType(TypeFloat, 3), big, true);
    assigned = *source;
    ASSERT_EQ(assigned.size(), 3u);
    EXPECT_TRUE(assigned[0]->copied());
    EXPECT_NE(assigned[0]->getFloats(), (*source)[0]->getFloats());
    assigned = assigned;
    EXPECT_EQ(assigned.size(), 3u);

    // Append, plain and with copy.
    ParameterSet appended;
    appended.push_back("first", ParamType(TypeInt), nullptr, false);
    appended.append(*source, false);
    appended.append(*source, true);
    ASSERT_EQ(appended.size(), 7u);
    EXPECT_STREQ(appended[1]->name().c_str(), "big");
    EXPECT_FALSE(appended[1]->copied());
    EXPECT_EQ(appended[1]->getFloats(), (*source)[0]->getFloats());
    EXPECT_TRUE(appended[4]->copied());
    EXPECT_NE(appended[4]->getFloats(), (*source)[0]->getFloats());

    ParameterSet deep;
    deep = appended;  // owns everything not inline, so it survives both sets below
    source.reset();
    copy.clear();
    appended.clear();
    EXPECT_EQ(assigned.findFloats("big")[3], 4.0f);
    EXPECT_EQ(assigned.findFloat("small", 0.0f), 6.0f);
    EXPECT_STREQ(assigned.findString("s", nullptr), "hello");
    EXPECT_EQ(deep[1]->getFloats()[2], 3.0f);
    EXPECT_EQ(deep[4]->getFloats()[2], 3.0f);

    // Moving hands the parameters over without copying them.
    Parameter* moved = deep[0];
    ParameterSet target(std::move(deep));
    EXPECT_EQ(target[0], moved);
    EXPECT_EQ(deep.size(), 0u);
    ParameterSet other;
    other = std::move(target);
    EXPECT_EQ(other[0], moved);
    EXPECT_EQ(other.size(), 7u);
}

TEST(ParameterSet, AppendWithReplacement) {
    float a1 = 1.0f, b1 = 2.0f, a2 = 10.0f, c2 = 30.0f;
    float color[3] = {0.1f, 0.2f, 0.3f};
    ParameterSet imager;
    imager.push_back("a", ParamType(TypeFloat), &a1, false);
    imager.push_back("b", ParamType(TypeFloat), &b1, false);
    Parameter* firstA = imager[0];

    ParameterSet pending;
    pending.push_back("c", ParamType(TypeFloat), &c2, false);
    pending.push_back("a", ParamType(TypeFloat), &a2, false);
    pending.push_back("b", ParamType(TypeColor), color, false);
    imager.append(pending, true, true);

    // Replaced in place, new names appended in order.
    ASSERT_EQ(imager.size(), 3u);
    EXPECT_EQ(imager[0], firstA);
    EXPECT_EQ(imager.findFloat("a", 0.0f), 10.0f);
    EXPECT_EQ(imager[1]->type(), ParamType(TypeColor));  // the new type comes with the value
    EXPECT_TRUE(imager[1]->copied());
    EXPECT_NE(imager[1]->getFloats(), color);
    EXPECT_EQ(imager[1]->getFloats()[2], 0.3f);
    EXPECT_STREQ(imager[2]->name().c_str(), "c");
    pending.clear();
    EXPECT_EQ(imager.findFloat("c", 0.0f), 30.0f);

    // A set can append itself: with replacement nothing changes, without it doubles.
    imager.append(imager, true, true);
    EXPECT_EQ(imager.size(), 3u);
    EXPECT_EQ(imager.findFloat("a", 0.0f), 10.0f);
    imager.append(imager, false);
    ASSERT_EQ(imager.size(), 6u);
    EXPECT_STREQ(imager[5]->name().c_str(), "c");
    EXPECT_EQ(imager[4]->getFloats(), imager[1]->getFloats());
}

TEST(ParameterSet, ContainerOperations) {
    ParameterSet set;
    EXPECT_TRUE(set.empty());
    EXPECT_EQ(set[0], nullptr);
    float v[3] = {1, 2, 3};
    set.push_back("x", ParamType(TypeFloat, 3), v, true);
    set.push_back("y", ParamType(TypeFloat), v, false);
    set.push_back("x", ParamType(TypeFloat), v + 1, false);
    Parameter* own = set.push_back(new Parameter("z", ParamType(TypeInt, 2), 1, nullptr, true));
    EXPECT_EQ(set.push_back(nullptr), nullptr);
    ASSERT_EQ(set.size(), 4u);
    EXPECT_EQ(set[3], own);
    EXPECT_EQ(set[4], nullptr);

    std::string order;
    for (Parameter* p : set) order += p->name().c_str();
    EXPECT_EQ(order, "xyxz");

    EXPECT_EQ(set.erase("x"), 2);
    EXPECT_EQ(set.erase("x"), 0);
    EXPECT_EQ(set.erase(nullptr), 0);
    ASSERT_EQ(set.size(), 2u);
    EXPECT_STREQ(set[0]->name().c_str(), "y");
    EXPECT_TRUE(set.remove(own));
    EXPECT_FALSE(set.remove(own));
    Parameter stranger;
    EXPECT_FALSE(set.remove(&stranger));
    ASSERT_EQ(set.size(), 1u);
    set.clear();
    EXPECT_TRUE(set.empty());
    EXPECT_EQ(set.find("y"), nullptr);

    // A parameter without a name answers to the empty name.
    set.push_back(new Parameter());
    EXPECT_EQ(set.find(""), set[0]);
}
