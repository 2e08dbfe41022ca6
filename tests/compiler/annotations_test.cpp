// What the checker records for the code generator: the globals a shader reads (its ShaderInfo
// mask), the derivative call sites, the forms chosen among overloads, storage classes.
#include "compile_util.h"
#include "compiler/builtins.h"
#include "compiler/globals.h"

namespace {

using namespace ovo::compiler;

Program checked(const std::string& text) {
    Diagnostics d;
    Program p = frontEnd(text, "t.sl", d);
    EXPECT_EQ(d.errorCount(), 0) << d.formatAll();
    return p;
}

// Every call to `name` in the shader body, in source order.
void eachCall(const Expr& e, const std::string& name, std::vector<const Expr*>& out) {
    for (const ExprPtr& a : e.args) eachCall(*a, name, out);
    if (e.kind == ExprKind::Call && e.text == name) out.push_back(&e);
}
void eachCall(const Stmt& s, const std::string& name, std::vector<const Expr*>& out) {
    for (const ExprPtr& a : s.args) eachCall(*a, name, out);
    for (const VarDecl& d : s.decls)
        if (d.init) eachCall(*d.init, name, out);
    for (const Expr* e : {s.expr.get(), s.step.get()})
        if (e) eachCall(*e, name, out);
    for (const Stmt* inner : {s.init.get(), s.then.get(), s.otherwise.get()})
        if (inner) eachCall(*inner, name, out);
    for (const StmtPtr& inner : s.body)
        if (inner) eachCall(*inner, name, out);
}
std::vector<const Expr*> calls(const Program& p, const std::string& name) {
    std::vector<const Expr*> out;
    eachCall(*p.shader->body, name, out);
    return out;
}

TEST(Annotations, GlobalFlagsAreTheRenderersOwn) {
    // The front end keeps its own copy of the flags; a change on either side must show here.
    int flagged = 0;
    for (const GlobalInfo* g = allGlobals(); g->name; ++g)
        if (g->flag && !g->lightOnly) {
            EXPECT_EQ(ovo::findGlobalVariable(g->name).flag, g->flag) << g->name;
            ++flagged;
        }
    EXPECT_EQ(findGlobal("alpha")->flag, unsigned(ovo::GlobalAlpha));
    EXPECT_GT(flagged, 20);
}

TEST(Annotations, TheMaskNamesTheGlobalsReadThroughFunctionsToo) {
    const std::pair<const char*, unsigned> cases[] = {
        // The standard plastic: ambient() and diffuse() gather light at P.
        {"surface plastic(float Ka = 1; float Kd = .5; float Ks = .5; float roughness = .1;\n"
         "                color specularcolor = 1) {\n"
         "  normal Nf = faceforward(normalize(N), I);\n"
         "  Oi = Os;\n"
         "  Ci = Os * (Cs * (Ka * ambient() + Kd * diffuse(Nf)) +\n"
         "             specularcolor * Ks * specular(Nf, -normalize(I), roughness));\n}",
         flags::Cs | flags::Os | flags::P | flags::N | flags::I},
        // Written globals are not read; a compound assignment reads.
        {"surface s() { Ci = 1; Oi = 1; }", 0},
        {"surface s() { Ci += 1; }", flags::Ci},
        // Through a function, and a texture lookup at the implicit coordinates (none yet).
        {"float f() { return s + t; } surface x() { Ci = f(); }", flags::s | flags::t},
        // Derivatives need both offset passes.
        {"surface s() { Ci = Du(u); }", flags::u | flags::du | flags::dv},
        {"float w(float x) { return Dv(x); } surface s() { Ci = w(1); }", flags::du | flags::dv},
        // A light names Cl and L (code generation adds them); illuminate reads Ps.
        {"light l() { illuminate(P) { Cl = 1; } }", flags::P | flags::Ps | flags::L},
        {"light l() { solar() { Cl = 1; } }", flags::L},
        // PI is a constant, no global.
        {"surface s() { Ci = PI; }", 0},
    };
    for (const auto& [source, mask] : cases)
        EXPECT_EQ(checked(source).shader->globalsRead, mask) << source;
}

// Each source with whether the checker sets `mark` on its shader.
template <size_t N>
void expectMarks(bool Function::*mark, const std::pair<const char*, bool> (&cases)[N]) {
    for (const auto& [source, marked] : cases)
        EXPECT_EQ((*checked(source).shader).*mark, marked) << source;
}

TEST(Annotations, ShaderMarksFollowWhatTheBodyDoes) {
    // A surface marked opacityIsOs is never run by shadow rays: any other effect on Oi must
    // clear the mark.
    const std::pair<const char*, bool> opacityIsOs[] = {
        {"surface s() { Oi = Os; Ci = Cs; }", true},
        {"surface s() { Ci = Cs; }", false},  // leaves Oi at 1, not Os
        {"surface s() { Oi = Os; Oi *= 0.5; }", false},
        {"surface s() { if (u > .5) Oi = Os; }", false},
        {"surface s() { Oi = Os; if (u > .5) return; }", false},
        {"surface s() { Os = 0.5; Oi = Os; }", false},
        {"surface s() { Oi = Os; setcomp(Oi, 0, 0); }", false},
        {"void f(output color c) { c = 0; } surface s() { Oi = Os; f(Oi); }", false},
        {"void f() { extern color Oi; Oi = 0; } surface s() { Oi = Os; f(); }", false},
        {"surface s() { Oi = Os; color c = 0; displacement(\"n\", c); Ci = c; }", true},
        {"surface s() { Oi = Os; displacement(\"n\", Oi); }", false},
        {"surface s() { Oi = Cs; }", false},
        {"volume v() { Oi = Os; }", false},
    };
    expectMarks(&Function::opacityIsOs, opacityIsOs);
    // A light with uniformArguments is initialised once per thread and its block serves every
    // point after.
    const std::pair<const char*, bool> uniformArguments[] = {
        {"light l(float k = 1; point from = point \"shader\" (0, 0, 0)) { Cl = k; }", true},
        {"light l(float a = radians(30); float b = a * 2; float c[2] = {1, a}) { Cl = b; }", true},
        {"light l(float k = random()) { Cl = k; }", false},
        {"light l(float k = 1; float c[2] = {1, random()}) { Cl = k; }", false},
        {"light l(float k = u) { Cl = k; }", false},
        {"light l(point p = P) { Cl = 1; }", false},
        {"float f() { return 1; } light l(float k = f()) { Cl = k; }", false},
        {"light l(output float k = 1) { Cl = k; }", false},
    };
    expectMarks(&Function::uniformArguments, uniformArguments);
    // A sameEverywhere light runs once per thread; every later point takes its Cl, Ol and L.
    const std::pair<const char*, bool> sameEverywhere[] = {
        {"light l(float k = 1) { Cl = k; }", true},
        {"light l(float k = 1; vector d = (0, 0, 1)) { solar(d, 0) { Cl = k * 2; Cl *= 0.5; } }",
         true},
        {"light l(float k = 1) { float i; color c = 0; for (i = 0; i < 3; i += 1) c += k; Cl = c; "
         "}",
         true},
        {"light l() { solar() { Cl = 1; } }", false},  // reflects I about N
        {"light l(point from = 0) { illuminate(from) { Cl = 1; } }", false},
        {"light l() { Cl = 1; Ol = color(xcomp(Ps)); }", false},
        {"light l() { Cl = random(); }", false},
        {"light l() { if (u > 0.5) Cl = 1; }", false},
        {"float f() { return 1; } light l() { Cl = f(); }", false},
        {"light l(float k = u) { Cl = k; }", false},
        {"surface s() { Ci = 1; }", false},
    };
    expectMarks(&Function::sameEverywhere, sameEverywhere);
    // Ambient lights are those that neither illuminate nor shine.
    const std::pair<const char*, bool> illuminates[] = {
        {"light l() { Cl = 1; }", false},
        {"light l() { solar() { Cl = 1; } }", true},
        {"void f() { illuminate(P) { Cl = 1; } } light l() { f(); }", true},
    };
    expectMarks(&Function::illuminates, illuminates);
}

TEST(Annotations, DerivativeSitesAreFixedOutsideLoopsAndCountedInside) {
    const Program p = checked(
        "float twice(float x) { return Du(x) + Dv(x); }\n"
        "surface s() {\n"
        "  float a = Du(u);\n"          // site 0, one slot
        "  vector b = Du(P);\n"         // sites 1..3
        "  if (u > 0.5) a += Dv(v);\n"  // site 4, whichever branch the passes take
        "  a += twice(u);\n"            // sites 5..6, the function's own
        "  float i; for (i = 0; i < 2; i += 1) a += Du(i);\n"  // counted at run time
        "  illuminance(P) { a += Du(v); }\n"                   // none: 0 there
        "  Ci = a + area(P);\n"                                // sites 7..9
        "}");
    const std::vector<const Expr*> du = calls(p, "Du");
    ASSERT_EQ(du.size(), 4u);
    EXPECT_EQ(du[0]->derivativeSite, 0);
    EXPECT_EQ(du[1]->derivativeSite, 1);
    EXPECT_TRUE(du[2]->inLoop);
    EXPECT_EQ(du[3]->derivativeSite, -2);
    EXPECT_EQ(calls(p, "Dv")[0]->derivativeSite, 4);
    EXPECT_EQ(calls(p, "twice")[0]->derivativeSite, 5);
    EXPECT_EQ(calls(p, "area")[0]->derivativeSite, 7);
    EXPECT_EQ(p.shader->staticSites, 10);
    EXPECT_EQ(p.functions[0]->staticSites, 2);
    EXPECT_TRUE(p.shader->usesDerivatives);
}

// One shader for the forms the checker chooses: the result type of random() from its context,
// among overloads the cheapest conversion, a builtin's form, storage classes.
TEST(Annotations, TheContextChoosesFormsAndStorageClasses) {
    const Program p = checked(
        "float f(float x) { return 1; }\n"
        "float f(color x) { return 2; }\n"
        "float f(point x) { return 3; }\n"
        "surface s(float k = 1; varying float w = 0) {\n"
        "  color c = random(); float r = random(); point q = random();\n"
        "  vector v = vector random(); Ci = c * r + color(q) + color(v) + float random();\n"
        "  float f1 = f(1), f2 = f(Cs), f3 = f(N), f4 = f((1, 2, 3));\n"
        "  Ci = mix(Cs, color 1, u);\n"
        "  uniform float a = k * 2; float b = k; float e = a + u;\n}");
    const std::vector<const Expr*> r = calls(p, "random");
    ASSERT_EQ(r.size(), 5u);
    const Base expected[] = {Base::Color, Base::Float, Base::Point, Base::Vector, Base::Float};
    for (size_t i = 0; i < r.size(); ++i) EXPECT_EQ(r[i]->type.base, expected[i]) << "call " << i;

    const std::vector<const Expr*> f = calls(p, "f");
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f[0]->function, p.functions[0].get());  // exact
    EXPECT_EQ(f[1]->function, p.functions[1].get());  // exact
    EXPECT_EQ(f[2]->function, p.functions[2].get());  // normal to point
    EXPECT_EQ(f[3]->function, p.functions[1].get());  // a triple takes the first triple form
    // Builtins: mix of colours by a float, not the all-colour form.
    EXPECT_EQ(signatureOf(*calls(p, "mix")[0]->builtin).params[2].base, Base::Float);

    auto find = [&](const std::string& name) -> const ovo::compiler::Variable* {
        for (const auto& v : p.variables)
            if (v->name == name) return v.get();
        return nullptr;
    };
    EXPECT_FALSE(find("k")->varying);
    EXPECT_TRUE(find("w")->varying);
    EXPECT_FALSE(find("a")->varying);
    EXPECT_TRUE(find("b")->varying);  // locals vary unless declared uniform
    EXPECT_TRUE(find("k")->readOnly);
    EXPECT_EQ(find("k")->cppName, "d.p_k");
}

}  // namespace
