// Calls: builtin templates filled in with their arguments, and user functions, which take the
// frame of derivative sites and the first site number of the call.
#include "compiler/codegen.h"

#include <cctype>

#include "compiler/builtins.h"

namespace ovo {
namespace compiler {

std::string Generator::siteExpression(const Expr& e, int width) {
    if (e.derivativeSite == -2) return "-1";
    if (e.inLoop) return "fr.take(ds, " + std::to_string(width) + ")";
    return "slrt::site(ds, " + std::to_string(e.derivativeSite) + ")";
}

namespace {

// The keywords whose values the library reads as integers: the sample count of the ray
// tracing calls and the fall-off mode of the gathering ones (other numbers arrive as doubles).
bool integerKeyword(const std::string& function, const std::string& keyword) {
    if (keyword == "falloffmode") return true;
    return keyword == "samples" && (function == "trace" || function == "transmission");
}

}  // namespace

// ", name, value, ..." for the keyword list starting at argument `first`: numbers pass as
// double (or int, above), names as ustring, the "environmentdir" output as a Tuple pointer.
std::string Generator::keywordPairs(const Expr& e, size_t first, int& count) {
    std::string out;
    count = 0;
    for (size_t i = first; i + 1 < e.args.size(); i += 2, ++count) {
        const Expr& key = *e.args[i];
        const Expr& value = *e.args[i + 1];
        out += ", " + expr(key) + ", ";
        if (key.kind == ExprKind::String && key.text == "environmentdir")
            out += "static_cast<ovo::Tuple*>(&" + target(value) + ")";
        else if (key.kind == ExprKind::String && integerKeyword(e.builtin->name, key.text))
            out += "int(" + as(value, Type(Base::Float)) + ")";
        else if (value.type.base == Base::String)
            out += expr(value);
        else
            out += "double(" + as(value, Type(Base::Float)) + ")";
    }
    return out;
}

std::string Generator::builtinCall(const Expr& e) {
    const Builtin& b = *e.builtin;
    const BuiltinSignature& sig = signatureOf(b);
    const size_t n = sig.params.size();
    std::vector<std::string> values(e.args.size()), refs(e.args.size());
    std::string channel = "0", all;
    for (size_t i = 0; i < e.args.size(); ++i) {
        const Expr& a = *e.args[i];
        if (i >= n && sig.rest != Rest::Repeat) {
            if (sig.rest == Rest::Any) all += ", " + expr(a);
            continue;
        }
        const BuiltinParam& p = sig.params[i < n ? i : n - 1];
        const Type t(p.base == Base::Triple ? Base::Vector : p.base);
        if (i == 0 && a.channel) {
            values[0] = expr(*a.args[0]);
            channel = "int(" + as(*a.args[1], Type(Base::Float)) + ")";
        } else if (p.output) {
            values[i] = target(a);
        } else if (p.array) {
            values[i] = "slrt::span(" + expr(a) + ")";
        } else {
            values[i] = as(a, t);
        }
        refs[i] = "slrt::ref(" + cppType(t) + "(" + values[i] + "))";
        all += (all.empty() ? "" : ", ") + values[i];
    }
    std::string out;
    for (const char* c = b.emit; *c; ++c) {
        const char m = *c;
        if ((m == '$' || m == '#' || m == '@') && std::isdigit(static_cast<unsigned char>(c[1]))) {
            const size_t i = size_t(c[1] - '0');
            out += i < values.size() ? (m == '#' ? refs[i] : values[i]) : "0";
            ++c;
        } else if (m == '$' && c[1]) {
            ++c;
            int count = 0;
            switch (*c) {
                case 'E':
                    out += "env";
                    break;
                case 'S':
                    out += siteExpression(e, b.sites);
                    break;
                case 'C':
                    out += channel;
                    break;
                case 'A':
                    out += all;
                    break;
                case 'H':
                    out += stringConstant(program.shader->name);
                    break;
                case 'N': {
                    const std::string pairs = keywordPairs(e, n, count);
                    out += std::to_string(count);
                    if (c[1] == '$' && c[2] == 'K') {
                        out += pairs;
                        c += 2;
                    }
                    break;
                }
                default:
                    out += *c;
                    break;
            }
        } else {
            out += m;
        }
    }
    return out;
}

std::string Generator::userCall(const Expr& e) {
    const Function& f = *e.function;
    std::string out = f.cppName + "(fr, ";
    out += f.usesDerivatives ? siteExpression(e, f.staticSites) : "-1";
    for (size_t i = 0; i < e.args.size(); ++i) {
        const VarDecl& p = f.params[i];
        const Expr& a = *e.args[i];
        if (p.type.isArray())
            out += ", slrt::span(" + (p.output ? target(a) : expr(a)) + ")";
        else if (p.output)
            out += ", " + target(a);
        else
            out += ", " + as(a, p.type);
    }
    return out + ")";
}

}  // namespace compiler
}  // namespace ovo
