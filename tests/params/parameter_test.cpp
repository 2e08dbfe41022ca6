#include <gtest/gtest.h>

#include <OpenImageIO/ustring.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/params/parameter.h"

using namespace ovo;

namespace {

// A heap copy of `text` that the test can free while a parameter still holds the string.
std::unique_ptr<char[]> heapString(const char* text) {
    return std::unique_ptr<char[]>(std::strcpy(new char[std::strlen(text) + 1], text));
}

}  // namespace

// Constant values of up to four bytes live in the parameter; larger or non-constant ones are
// copied to a block of their own when asked, else referred to; open arrays are always referred to.
TEST(Parameter, WhereTheValueIsKept) {
    enum Where { Inside, Referred, Copied };
    float values[18] = {45, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    const struct {
        const char* type;
        int n;
        bool copy, null;
        Where where;
        int size;
    } rows[] = {
        {"float", 1, false, false, Inside, 4},
        {"uint8[4]", 1, false, false, Inside, 4},
        {"uint8[5]", 1, false, false, Referred, 5},
        {"uint16", 2, false, false, Inside, 4},
        {"float", 1, false, true, Inside, 4},
        {"vertex float", 1, false, false, Referred, 4},
        {"vertex point", 4, true, false, Copied, 48},
        {"int[]", 1, true, false, Referred, 0},
        {"color[2]", 3, true, true, Copied, 72},
        {"matrix[4]", 3, false, true, Referred, 768},
        {"string[3]", 2, false, true, Referred, int(6 * sizeof(char*))},
        {"float", -2, true, false, Inside, 0},  // a negative count is no values
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.type << " x" << r.n << (r.copy ? " copied" : ""));
        const void* source = r.null ? nullptr : values;
        const Parameter p("p", ParamType(r.type), r.n, source, r.copy);
        EXPECT_EQ(p.datasize(), r.size);
        EXPECT_EQ(p.external(), r.where != Inside);
        EXPECT_EQ(p.copied(), r.where == Copied);
        if (r.where == Referred) {
            EXPECT_EQ(p.data(), source);
        }
        const std::vector<unsigned char> zeros(std::size_t(r.size), 0);
        if (r.where != Referred && r.size) {
            EXPECT_EQ(std::memcmp(p.data(), source ? source : zeros.data(), std::size_t(r.size)),
                      0);
        }
    }
    EXPECT_EQ(Parameter("u", ParamType(BaseType(20), 4), 3, nullptr, true).datasize(), 0);
    // A value kept inside or copied is the parameter's own; a referred one is the caller's.
    Parameter inside("fov", ParamType(TypeFloat), 1, values, false);
    Parameter ref("s", ParamType(TypeFloat, 1, InterpVertex), 1, values, false);
    values[0] = 10.0f;
    EXPECT_EQ(inside.getFloat(), 45.0f);
    EXPECT_EQ(ref.getFloat(), 10.0f);
    // Reading the first element never goes past a block smaller than the element, nor a null.
    signed char one = 9;
    EXPECT_EQ(Parameter("t", ParamType("vertex int8"), 1, &one, true).getInt(), 0);
    const Parameter none("n", ParamType("vertex float"), 1, nullptr, false), empty;
    EXPECT_EQ(none.getFloat(), 0.0f);
    EXPECT_EQ(empty.getInt(), 0);
}

TEST(Parameter, StringsAreInterned) {
    std::unique_ptr<char[]> buffer = heapString("catmull-rom"), a = heapString("first");
    const char* value = buffer.get();
    Parameter single("basis", ParamType(TypeString), 1, &value, false);
    EXPECT_FALSE(single.external());
    buffer.reset();  // the caller's characters are gone; the parameter's are not
    EXPECT_EQ(single.getString(), OIIO::ustring("catmull-rom").c_str());
    const char* strings[3] = {a.get(), nullptr, "second"};
    Parameter shared("names", ParamType(TypeString, 3), 1, strings, false);
    EXPECT_EQ(shared.getStrings()[0], a.get());  // referred-to arrays keep the caller's pointers
    Parameter owned("names", ParamType(TypeString, 3), 1, strings, true);
    a.reset();
    EXPECT_EQ(owned.getStrings()[0], OIIO::ustring("first").c_str());
    EXPECT_EQ(owned.getStrings()[1], nullptr);
    EXPECT_EQ(owned.getStrings()[2], OIIO::ustring("second").c_str());
    EXPECT_EQ(Parameter("s", ParamType(TypeString), 1, nullptr, true).getString(), nullptr);
}

TEST(Parameter, CopyingAndReinitialising) {
    float P[6] = {1, 2, 3, 4, 5, 6};
    Parameter owner("P", ParamType(TypePoint, 1, InterpVertex), 2, P, true);
    owner.unused(false);
    // A deep copy owns its block and starts unused; a shallow one shares; a plain copy and an
    // assignment own a block exactly when the source does.
    Parameter deep(owner, true), view(owner, false), plain(owner), assigned;
    EXPECT_TRUE(deep.copied() && deep.unused());
    EXPECT_NE(deep.getFloats(), owner.getFloats());
    EXPECT_EQ(std::memcmp(deep.data(), P, sizeof(P)), 0);
    EXPECT_EQ(view.getFloats(), owner.getFloats());
    EXPECT_NE(plain.getFloats(), owner.getFloats());
    assigned = view;
    EXPECT_EQ(assigned.getFloats(), owner.getFloats());
    assigned = owner;  // replaces a referring value by an owned one
    EXPECT_TRUE(assigned.copied());
    EXPECT_NE(assigned.getFloats(), owner.getFloats());
    assigned = assigned;  // self-assignment keeps the value
    EXPECT_EQ(assigned.getFloats()[5], 6.0f);
    float one = 3.5f;
    // Re-initialising from the parameter's own block reads it before freeing it.
    assigned.unused(false);
    assigned.init(assigned.name(), assigned.type(), 2, assigned.data(), true);
    EXPECT_EQ(assigned.getFloats()[4], 5.0f);
    EXPECT_TRUE(assigned.unused());
    assigned.init("width", ParamType(TypeFloat), 1, &one, true);
    EXPECT_FALSE(assigned.external() || assigned.copied());
    EXPECT_EQ(assigned.getFloat(), 3.5f);
}

TEST(ParameterSet, TypedLookupsFindTheFirstMatchAndMarkItUsed) {
    ParameterSet set;
    float fov2[2] = {30.0f, 40.0f}, P[9] = {}, from[3] = {1, 2, 3}, width[2] = {2.0f, 3.0f};
    int ints[3] = {7, 8, 9}, quality = 4;
    const char* name = "gaussian";
    set.push_back("fov", ParamType("float[2]"), fov2, false);
    set.push_back("P", ParamType("vertex point"), P, false);
    set.push_back("from", ParamType("point"), from, false);
    set.push_back("indices", ParamType("int[3]"), ints, false);
    set.push_back(OIIO::ustring("width"), ParamType("float"), &width[0], false);
    set.push_back("width", ParamType("float"), &width[1], false);
    set.push_back("quality", ParamType("int"), &quality, false);
    set.push_back("filter", ParamType("string"), &name, false);
    set.push_back("Cs", ParamType(TypeColor), nullptr, true);
    // Base types match; counts match when equal or either side is open; the interpolation
    // counts only where the type asks for one; names are case-sensitive.
    const struct {
        const char *name, *type;
        int found;
    } rows[] = {{"P", "point[]", 1},
                {"P", "point", -1},
                {"fov", "float[]", 0},
                {"fov", "float[2]", 0},
                {"fov", "vertex float[2]", -1},
                {"indices", "vertex int[]", 3},
                {"p", "vertex point", -1},
                {"width", "float", 4}};
    for (const auto& r : rows)
        EXPECT_EQ(set.find(r.name, ParamType(r.type)), r.found < 0 ? nullptr : set[r.found])
            << r.name << " " << r.type;
    EXPECT_EQ(set.find(nullptr, TypeFloat), nullptr);
    EXPECT_EQ(set.findFloat("fov", 90.0f), 90.0f);
    EXPECT_EQ(set.findPoints("P"), P);
    const float def[3] = {9, 9, 9};
    EXPECT_EQ(set.findPoint("from", def), from);
    EXPECT_EQ(set.findPoint("P", def), def);  // vertex is not constant
    EXPECT_EQ(set.findColor("from", def), def);
    EXPECT_EQ(set.findInt("quality", -1), 4);
    EXPECT_EQ(set.findInt("width", -1), -1);  // a float is not an int
    EXPECT_EQ(set.findFloat("width", 0.0f), 2.0f);
    EXPECT_EQ(set.findString("filter", "box"), OIIO::ustring("gaussian").c_str());
    EXPECT_STREQ(set.findString("quality", "box"), "box");

    // A name-only lookup, or one of the wrong type, does not count as use.
    EXPECT_EQ(set.find("Cs"), set[8]);
    EXPECT_EQ(set.findInt("Cs", -1), -1);
    EXPECT_TRUE(set[5]->unused());
    EXPECT_FALSE(set[4]->unused());
    EXPECT_TRUE(set[8]->unused());
    set.findColor("Cs", nullptr);
    EXPECT_FALSE(set[8]->unused());
    set[8]->init("Cs", ParamType(TypeColor), 1, nullptr, true);
    EXPECT_TRUE(set[8]->unused());  // re-initialised
}

TEST(ParameterSet, CopyAssignAppendAndMove) {
    float big[4] = {1, 2, 3, 4}, small = 5.0f;
    std::unique_ptr<char[]> text = heapString("hello");
    const char* str = text.get();
    auto source = std::make_unique<ParameterSet>();
    source->push_back("big", ParamType(TypeFloat, 4), big, true);
    source->push_back("small", ParamType(TypeFloat), &small, false);
    source->push_back("s", ParamType(TypeString), &str, false);
    text.reset();

    // Copy construction: inline values and single strings copied, larger data shared.
    ParameterSet copy(*source);
    EXPECT_EQ(copy[0]->getFloats(), (*source)[0]->getFloats());
    (*source)[1]->getFloats()[0] = 6.0f;
    EXPECT_EQ(copy[1]->getFloat(), 5.0f);
    EXPECT_STREQ(copy[2]->getString(), "hello");
    // Assignment is deep; append copies only when asked.
    ParameterSet assigned, appended, deep;
    assigned.push_back("old", ParamType(TypeFloat, 3), big, true);
    assigned = *source;
    assigned = assigned;
    appended.push_back("first", ParamType(TypeInt), nullptr, false);
    appended.append(*source, false);
    appended.append(*source, true);
    ASSERT_EQ(appended.size(), 7u);
    EXPECT_EQ(appended[1]->getFloats(), (*source)[0]->getFloats());
    EXPECT_NE(appended[4]->getFloats(), (*source)[0]->getFloats());
    deep = appended;  // owns everything not inline, so it survives both sets below
    source.reset(), copy.clear(), appended.clear();
    ASSERT_EQ(assigned.size(), 3u);
    EXPECT_EQ(assigned.findFloats("big")[3], 4.0f);
    EXPECT_STREQ(assigned.findString("s", nullptr), "hello");
    EXPECT_EQ(deep[1]->getFloats()[2], 3.0f);
    // Moving hands the parameters over without copying them.
    Parameter* moved = deep[0];
    ParameterSet target(std::move(deep)), other;
    other = std::move(target);
    EXPECT_EQ(other[0], moved);
}

TEST(ParameterSet, AppendWithReplacement) {
    float a1 = 1.0f, b1 = 2.0f, a2 = 10.0f, c2 = 30.0f, color[3] = {0.1f, 0.2f, 0.3f};
    ParameterSet imager, pending;
    imager.push_back("a", ParamType(TypeFloat), &a1, false);
    imager.push_back("b", ParamType(TypeFloat), &b1, false);
    Parameter* firstA = imager[0];
    pending.push_back("c", ParamType(TypeFloat), &c2, false);
    pending.push_back("a", ParamType(TypeFloat), &a2, false);
    pending.push_back("b", ParamType(TypeColor), color, false);
    imager.append(pending, true, true);
    pending.clear();
    // Replaced in place with the new type, new names appended in order.
    ASSERT_EQ(imager.size(), 3u);
    EXPECT_EQ(imager[0], firstA);
    EXPECT_EQ(imager.findFloat("a", 0.0f), 10.0f);
    EXPECT_EQ(imager[1]->type(), ParamType(TypeColor));
    EXPECT_NE(imager[1]->getFloats(), color);
    EXPECT_EQ(imager.findFloat("c", 0.0f), 30.0f);
    // A set can append itself: with replacement nothing changes, without it doubles.
    imager.append(imager, true, true);
    EXPECT_EQ(imager.size(), 3u);
    imager.append(imager, false);
    ASSERT_EQ(imager.size(), 6u);
    EXPECT_EQ(imager[4]->getFloats(), imager[1]->getFloats());
}

TEST(ParameterSet, ContainerOperations) {
    ParameterSet set;
    float v[3] = {1, 2, 3};
    set.push_back("x", ParamType(TypeFloat, 3), v, true);
    set.push_back("y", ParamType(TypeFloat), v, false);
    set.push_back("x", ParamType(TypeFloat), v + 1, false);
    Parameter* own = set.push_back(new Parameter("z", ParamType(TypeInt, 2), 1, nullptr, true));
    EXPECT_EQ(set.push_back(nullptr), nullptr);
    EXPECT_EQ(set[4], nullptr);
    EXPECT_EQ(set.erase("x"), 2);
    EXPECT_STREQ(set[0]->name().c_str(), "y");
    EXPECT_TRUE(set.remove(own));
    EXPECT_FALSE(set.remove(own));
    set.clear();
    set.push_back(new Parameter());  // a parameter without a name answers to the empty name
    EXPECT_EQ(set.find(""), set[0]);
}
