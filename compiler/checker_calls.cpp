// Calls: user functions and builtins, overloads chosen by the cost of the conversions their
// arguments need (and by the result type the context asks for), output arguments, keyword
// lists, and the derivative call sites the code generator numbers.
#include "compiler/checker.h"

namespace ovo {
namespace compiler {

namespace {

std::string argumentTypes(const std::vector<ExprPtr>& args) {
    std::string out = "(";
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) out += ", ";
        out += args[i]->channel ? "string" : typeName(args[i]->type);
    }
    return out + ")";
}

// The cost of passing a value of type `a` to a builtin parameter; -1 when it does not fit.
int parameterCost(const Type& a, const BuiltinParam& p) {
    if (a.base == Base::Error) return 0;
    if (p.array) {
        if (!a.isArray()) return -1;
        if (p.base == Base::Triple) return isPointLike(a.base) ? 0 : -1;
        if (a.base == p.base) return 0;
        return isPointLike(a.base) && isPointLike(p.base) ? 1 : -1;
    }
    if (a.isArray()) return -1;
    if (p.base == Base::Triple) {
        if (isPointLike(a.base)) return 0;
        if (p.output) return -1;
        if (a.base == Base::Triple) return 1;
        return a.base == Base::Float || a.base == Base::Bool ? 2 : -1;
    }
    if (p.output) {
        if (a.base == p.base) return 0;
        return isPointLike(a.base) && isPointLike(p.base) ? 1 : -1;
    }
    return conversionCost(a, Type(p.base));
}

bool outputFits(const Type& a, const Type& p) {
    if (a.base == Base::Error) return true;
    if (a.arrayLength != p.arrayLength && !(p.arrayLength < 0 && a.isArray())) return false;
    return a.base == p.base || (isPointLike(a.base) && isPointLike(p.base));
}

}  // namespace

void Checker::checkArguments(Expr& e, size_t first) {
    for (size_t i = first; i < e.args.size(); ++i) expr(*e.args[i]);
}

// "map"[n] as the first argument of texture, environment or shadow: n selects the channel.
// Returns whether it checked the argument (as a selector or as an ordinary element).
bool Checker::channelSelector(Expr& e) {
    if (e.kind != ExprKind::Index || e.bad) return false;
    Expr& base = *e.args[0];
    expr(base);
    if (base.type.base != Base::String || base.type.isArray()) {
        indexRest(e);
        return true;
    }
    Expr& at = *e.args[1];
    expr(at);
    if (at.type.base != Base::Error && (at.type.isArray() || at.type.base != Base::Float))
        diagnostics.error(at.where, "a channel number must be a float, not " + typeName(at.type));
    e.channel = true;
    e.type = Type(Base::String);
    e.varying = base.varying || at.varying;
    return true;
}

void Checker::call(Expr& e, const Type* expected) {
    std::vector<Function*> candidates;
    for (const Scope& s : scopes) {
        auto found = s.functions.find(e.text);
        if (found != s.functions.end())
            candidates.insert(candidates.end(), found->second.begin(), found->second.end());
    }
    if (!candidates.empty()) {
        userCall(e, candidates);
        return;
    }
    const std::vector<const Builtin*> forms = findBuiltins(e.text);
    if (forms.empty()) {
        checkArguments(e, 0);
        diagnostics.error(e.where, "'" + e.text + "' is not a function");
        e.type = Type(Base::Error);
        return;
    }
    builtinCall(e, forms, expected);
}

void Checker::userCall(Expr& e, std::vector<Function*>& candidates) {
    checkArguments(e, 0);
    Function* best = nullptr;
    int bestCost = 0;
    for (Function* f : candidates) {
        if (f->params.size() != e.args.size()) continue;
        int cost = 0;
        for (size_t i = 0; i < e.args.size() && cost >= 0; ++i) {
            const Type& a = e.args[i]->type;
            const VarDecl& p = f->params[i];
            const int c = p.output ? (outputFits(a, p.type) ? 0 : -1) : conversionCost(a, p.type);
            cost = c < 0 ? -1 : cost + c;
        }
        if (cost >= 0 && (!best || cost < bestCost)) {
            best = f;
            bestCost = cost;
        }
    }
    e.type = Type(Base::Error);
    if (!best) {
        diagnostics.error(e.where, "no function '" + e.text + "' takes " + argumentTypes(e.args));
        return;
    }
    if (active.count(best)) {
        diagnostics.error(e.where, "'" + e.text +
                                       "' calls itself: shading-language functions "
                                       "cannot be recursive");
        return;
    }
    e.function = best;
    e.type = best->returnType;
    e.varying = best->readsEnvironment;
    for (size_t i = 0; i < e.args.size(); ++i) {
        Expr& a = *e.args[i];
        e.varying = e.varying || a.varying;
        if (best->params[i].storage == Storage::Uniform && a.varying)
            diagnostics.error(a.where, "parameter '" + best->params[i].name + "' of '" + e.text +
                                           "' is uniform, but the value passed varies");
    }
    for (size_t i = 0; i < e.args.size(); ++i) {
        if (!best->params[i].output) continue;
        Expr& a = *e.args[i];
        if (assignable(a, "pass as output")) {
            Variable* v = a.kind == ExprKind::Name ? a.variable : nullptr;
            if (v) storeCheck(*v, e.varying, a.where);
        }
    }
    absorb(*best);
    if (best->usesDerivatives) derivativeSite(e, best->staticSites);
}

int Checker::formCost(const Builtin& b, std::vector<ExprPtr>& args) {
    const BuiltinSignature& sig = signatureOf(b);
    const size_t n = sig.params.size();
    if (args.size() < n || (args.size() > n && sig.rest == Rest::None)) return -1;
    int cost = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i >= n && sig.rest != Rest::Repeat) break;
        const BuiltinParam& p = sig.params[i < n ? i : n - 1];
        const Expr& a = *args[i];
        const int c =
            a.channel && i == 0 ? (p.base == Base::String ? 0 : -1) : parameterCost(a.type, p);
        if (c < 0) return -1;
        cost += c;
    }
    // Keyword lists: a form fits only where its names are strings (the pairing itself is
    // reported by checkKeywords).
    if (sig.rest == Rest::Keywords)
        for (size_t i = n; i < args.size(); i += 2)
            if (args[i]->type.base != Base::String && args[i]->type.base != Base::Error) return -1;
    return cost;
}

void Checker::builtinCall(Expr& e, const std::vector<const Builtin*>& forms, const Type* expected) {
    bool channels = false;
    for (const Builtin* b : forms) channels = channels || (b->options & Channel);
    const bool selected = channels && !e.args.empty() && channelSelector(*e.args[0]);
    checkArguments(e, selected ? 1 : 0);
    const Builtin* chosen = nullptr;
    int best = -1;
    for (const Builtin* b : forms) {
        const int cost = formCost(*b, e.args);
        if (cost < 0) continue;
        const BuiltinSignature& sig = signatureOf(*b);
        const bool wanted =
            expected && (sig.result == expected->base ||
                         (sig.result == Base::Triple && isPointLike(expected->base)));
        const bool chosenWanted =
            chosen && expected && signatureOf(*chosen).result == expected->base;
        if (!chosen || cost < best || (cost == best && wanted && !chosenWanted)) {
            chosen = b;
            best = cost;
        }
    }
    e.type = Type(Base::Error);
    if (!chosen) {
        diagnostics.error(e.where, "no form of '" + e.text + "' takes " + argumentTypes(e.args));
        return;
    }
    if (chosen->options & Refused) {
        diagnostics.error(e.where, chosen->emit);
        return;
    }
    e.builtin = chosen;
    const BuiltinSignature& sig = signatureOf(*chosen);
    e.type = Type(sig.result);
    for (size_t i = 0; i < sig.params.size() && sig.result == Base::Triple; ++i)
        if (sig.params[i].base == Base::Triple)
            e.type = Type(isPointLike(e.args[i]->type.base) ? e.args[i]->type.base : Base::Point);
    const bool environment = std::string(chosen->emit).find("$E") != std::string::npos;
    e.varying = (chosen->options & Varying) || chosen->globals;
    for (ExprPtr& a : e.args) e.varying = e.varying || a->varying;
    Function& f = *ctx.function;
    f.globalsRead |= chosen->globals;
    f.readsEnvironment = f.readsEnvironment || environment || e.varying;
    for (size_t i = 0; i < sig.params.size(); ++i)
        if (sig.params[i].output && assignable(*e.args[i], "pass as output"))
            if (Variable* v = e.args[i]->kind == ExprKind::Name ? e.args[i]->variable : nullptr)
                storeCheck(*v, e.varying, e.args[i]->where);
    if (sig.rest == Rest::Keywords) checkKeywords(e, sig.params.size());
    if (chosen->sites > 0) derivativeSite(e, chosen->sites);
}

// name, value, name, value ...: names are strings; values floats or strings, except the
// output direction of "environmentdir".
void Checker::checkKeywords(Expr& e, size_t first) {
    if ((e.args.size() - first) % 2 != 0) {
        diagnostics.error(e.args.back()->where, "options of '" + e.text +
                                                    "' come in name/value pairs: the last "
                                                    "name has no value");
        return;
    }
    for (size_t i = first; i + 1 < e.args.size(); i += 2) {
        Expr& key = *e.args[i];
        Expr& value = *e.args[i + 1];
        if (key.type.base != Base::String || key.type.isArray()) {
            if (key.type.base != Base::Error)
                diagnostics.error(key.where,
                                  "an option name must be a string, not " + typeName(key.type));
            continue;
        }
        const Base b = value.type.base;
        if (key.kind == ExprKind::String && key.text == "environmentdir") {
            if (!isPointLike(b) || value.type.isArray())
                diagnostics.error(value.where, "\"environmentdir\" needs a vector variable");
            else
                assignable(value, "pass as output");
            continue;
        }
        if (value.type.isArray() ||
            (b != Base::Float && b != Base::Bool && b != Base::String && b != Base::Error))
            diagnostics.error(value.where,
                              "the value of an option must be a float or a "
                              "string, not " +
                                  typeName(value.type));
    }
}

// Numbers the derivative call sites: a site outside loops gets a fixed number, so that the
// offset passes and the main pass meet at it even when their control flow differs; sites in
// loops are counted at run time; inside light statements derivatives are 0.
void Checker::derivativeSite(Expr& e, int sites) {
    Function& f = *ctx.function;
    f.usesDerivatives = true;
    f.globalsRead |= 0x200 | 0x400;
    if (ctx.noDerivatives > 0) {
        e.derivativeSite = -2;
        diagnostics.warning(e.where,
                            "derivatives are 0 inside illuminance, illuminate and "
                            "solar statements and in parameter defaults: '" +
                                e.text + "' takes none here");
    } else if (ctx.loopDepth > 0) {
        e.inLoop = true;
    } else {
        e.derivativeSite = f.staticSites;
        f.staticSites += sites;
    }
}

}  // namespace compiler
}  // namespace ovo
