#include "vbscript/compiler.h"

#include "platform/arith.h"
#include "platform/convert.h"
#include "vbscript/builtins.h"
#include "vbscript/errors.h"
#include "vbscript/numeric.h"

namespace tavrix::vbs {

GlobalCell* ModuleScope::AddVariable(std::string_view name, bool implicit) {
  const auto it = names_.find(name);
  if (it != names_.end()) return it->second.kind == RefKind::kGlobal ? it->second.cell : nullptr;
  NameRef r;
  r.kind = RefKind::kGlobal;
  r.implicit = implicit;
  r.cell = &cells_.emplace_back();
  names_.emplace(std::string(name), r);
  return r.cell;
}

const NameRef* ModuleScope::Find(std::string_view name) const {
  const auto it = names_.find(name);
  return it == names_.end() ? nullptr : &it->second;
}

void ModuleScope::Define(std::string_view name, const NameRef& ref) {
  const auto it = names_.find(name);
  if (it != names_.end()) {
    it->second = ref;
  } else {
    names_.emplace(std::string(name), ref);
  }
}

GlobalCell* ModuleScope::Hidden() { return &cells_.emplace_back(); }

namespace {

bool IsClassEvent(const Proc& p, std::string_view event) {
  return p.kind == ProcKind::kSub && EqualsNoCase(p.name, event);
}

class Compiler {
 public:
  Compiler(ModuleScope* scope, bool optionExplicit, bool nested, ParseError* error)
      : scope_(scope), optionExplicit_(optionExplicit), nested_(nested), error_(error) {}

  // A whole script, or an Execute text run by `within`.
  HRESULT Run(Script* script, const Proc* within) {
    RETURN_IF_FAILED(Register(script));
    for (auto& c : script->classes) RETURN_IF_FAILED(BuildMembers(c.get()));
    EnterText(&script->module, within);
    RETURN_IF_FAILED(Declare(script->module.body));
    RETURN_IF_FAILED(ResolveBlock(script->module.body));
    for (auto& p : script->procs) RETURN_IF_FAILED(CompileProc(p.get(), nullptr));
    for (auto& c : script->classes) {
      for (auto& p : c->procs) RETURN_IF_FAILED(CompileProc(p.get(), c.get()));
    }
    return S_OK;
  }

  // The expression of Eval, evaluated while `within` runs.
  HRESULT RunExpression(Expr* e, const Proc* within) {
    Proc host;
    host.isModule = true;
    EnterText(&host, within);
    return ResolveExpr(e);
  }

 private:
  HRESULT Fail(int number, int line, int column) {
    if (error_->number == 0) {
      error_->number = number;
      error_->line = line;
      error_->column = column;
    }
    return ScriptError(number);
  }

  // --- Scopes.

  // Code at module level (`proc` is the text's own module code), or code an
  // Execute runs inside the procedure `within`.
  void EnterText(Proc* proc, const Proc* within) {
    proc_ = proc;
    moduleLevel_ = true;
    locals_.clear();
    haveLocals_ = false;
    class_ = nullptr;
    if (within != nullptr && !within->isModule) {
      locals_ = within->scope;
      haveLocals_ = true;
      class_ = within->owner;
    }
  }

  // Procedures and classes join the module scope before any code is resolved,
  // so code may name them before their definitions.
  HRESULT Register(Script* script) {
    auto add = [&](const std::string& name, int line, const NameRef& ref) -> HRESULT {
      const NameRef* old = scope_->Find(name);
      if (old != nullptr) {
        const bool replaceable =
            nested_ && (old->kind == RefKind::kProc || old->kind == RefKind::kClass ||
                        (old->kind == RefKind::kGlobal && old->implicit));
        if (!replaceable || defined_.count(name) != 0) return Fail(kErrNameRedefined, line, 1);
        if (old->kind == RefKind::kGlobal && ref.kind == RefKind::kProc) {
          old->cell->lateProc = ref.proc;
        }
      }
      defined_[name] = ref;
      scope_->Define(name, ref);
      return S_OK;
    };
    for (const auto& p : script->procs) {
      NameRef r;
      r.kind = RefKind::kProc;
      r.proc = p.get();
      RETURN_IF_FAILED(add(p->name, p->line, r));
    }
    for (const auto& c : script->classes) {
      NameRef r;
      r.kind = RefKind::kClass;
      r.cls = c.get();
      RETURN_IF_FAILED(add(c->name, c->line, r));
    }
    return S_OK;
  }

  // The member table of a class: its variables, then its procedures, each
  // name once (a property's Get, Let and Set share one member).
  HRESULT BuildMembers(ClassDef* c) {
    auto memberOf = [&](const std::string& name, bool* made) -> ClassMember& {
      const auto it = c->memberIndex.find(name);
      *made = it == c->memberIndex.end();
      if (!*made) return c->members[static_cast<size_t>(it->second)];
      c->memberIndex.emplace(name, static_cast<int32_t>(c->members.size()));
      ClassMember& m = c->members.emplace_back();
      m.name = name;
      return m;
    };
    for (size_t i = 0; i < c->fields.size(); ++i) {
      const ClassField& field = c->fields[i];
      bool made;
      ClassMember& m = memberOf(field.name, &made);
      if (!made) return Fail(kErrNameRedefined, field.line, 1);
      m.isPublic = field.isPublic;
      m.field = static_cast<int32_t>(i);
      if (field.isArray) {
        ArrayInit init;
        init.ref.kind = RefKind::kField;
        init.ref.index = m.field;
        init.ref.fixedArray = !field.upper.empty();
        init.upper = field.upper;
        c->arrays.push_back(std::move(init));
      }
    }
    for (const auto& owned : c->procs) {
      const Proc* p = owned.get();
      bool made;
      ClassMember& m = memberOf(p->name, &made);
      const int32_t index = c->memberIndex.find(p->name)->second;
      if (!made) {
        const bool property = m.get != nullptr || m.let != nullptr || m.set != nullptr;
        const Proc*& slot = p->kind == ProcKind::kGet ? m.get
                            : p->kind == ProcKind::kLet ? m.let
                                                        : m.set;
        if (!property || p->kind == ProcKind::kSub || p->kind == ProcKind::kFunction ||
            slot != nullptr) {
          return Fail(kErrNameRedefined, p->line, 1);
        }
        m.isPublic = m.isPublic || p->isPublic;
      } else {
        m.isPublic = p->isPublic;
      }
      switch (p->kind) {
        case ProcKind::kGet: m.get = p; break;
        case ProcKind::kLet: m.let = p; break;
        case ProcKind::kSet: m.set = p; break;
        default: m.method = p; break;
      }
      if (p->isDefault) {
        if (c->defaultMember >= 0 && c->defaultMember != index) {
          return Fail(kErrMultipleDefault, p->line, 1);
        }
        c->defaultMember = index;
      }
      if (IsClassEvent(*p, "Class_Initialize")) c->initialize = p;
      if (IsClassEvent(*p, "Class_Terminate")) c->terminate = p;
    }
    for (const ClassMember& m : c->members) {
      const size_t gets = m.get != nullptr ? m.get->params.size() : 0;
      for (const Proc* put : {m.let, m.set}) {
        if (put != nullptr && m.get != nullptr && put->params.size() != gets + 1) {
          return Fail(kErrPropertyArgCount, put->line, 1);
        }
      }
    }
    return S_OK;
  }

  HRESULT CompileProc(Proc* p, const ClassDef* owner) {
    proc_ = p;
    moduleLevel_ = false;
    class_ = owner;
    locals_.clear();
    haveLocals_ = true;
    slots_ = 0;
    for (const Param& param : p->params) {
      if (locals_.count(param.name) != 0) return Fail(kErrNameRedefined, p->line, 1);
      locals_[param.name] = Local(slots_++);
    }
    if (p->isFunction) {
      p->resultSlot = slots_++;
      if (locals_.count(p->name) == 0) locals_[p->name] = Local(p->resultSlot);
    }
    RETURN_IF_FAILED(Declare(p->body));
    RETURN_IF_FAILED(ResolveBlock(p->body));
    p->slotCount = slots_;
    p->scope = locals_;
    return S_OK;
  }

  static NameRef Local(int32_t slot) {
    NameRef r;
    r.kind = RefKind::kLocal;
    r.index = slot;
    return r;
  }

  // A new variable in the current scope; error 1041 when the scope has it.
  HRESULT NewVariable(std::string_view name, bool implicit, int line, int column,
                      NameRef* out) {
    if (!moduleLevel_) {
      *out = Local(slots_++);
      out->implicit = implicit;
      locals_[std::string(name)] = *out;
      return S_OK;
    }
    if (const NameRef* old = scope_->Find(name)) {
      // Texts run later may declare a variable that earlier code made by use.
      if (old->kind != RefKind::kGlobal || !old->implicit || !nested_) {
        return Fail(kErrNameRedefined, line, column);
      }
      NameRef declared = *old;
      declared.implicit = implicit;
      scope_->Define(name, declared);
      *out = declared;
      return S_OK;
    }
    out->kind = RefKind::kGlobal;
    out->implicit = implicit;
    out->cell = scope_->AddVariable(name, implicit);
    return S_OK;
  }

  NameRef Hidden() {
    if (moduleLevel_) {
      NameRef r;
      r.kind = RefKind::kGlobal;
      r.cell = scope_->Hidden();
      return r;
    }
    return Local(slots_++);
  }

  bool DeclaredHere(std::string_view name) const {
    if (!moduleLevel_) return locals_.count(name) != 0;
    const NameRef* r = scope_->Find(name);
    return r != nullptr && !(nested_ && r->kind == RefKind::kGlobal && r->implicit);
  }

  // Where a constant or an array declared here is recorded.
  void Bind(std::string_view name, const NameRef& r) {
    if (moduleLevel_) {
      scope_->Define(name, r);
    } else {
      locals_[std::string(name)] = r;
    }
  }

  // Dim, ReDim and Const anywhere in a body declare for the whole scope.
  HRESULT Declare(Block& block) {
    for (auto& s : block) {
      switch (s->kind) {
        case StmtKind::kDim:
          for (auto& item : s->items) {
            const bool isArray = item->kind == ExprKind::kIndex;
            Expr* name = isArray ? item->left.get() : item.get();
            if (DeclaredHere(name->name)) return Fail(kErrNameRedefined, s->line, s->column);
            NameRef r;
            RETURN_IF_FAILED(NewVariable(name->name, false, s->line, s->column, &r));
            if (isArray) {
              ArrayInit init;
              for (auto& a : item->args) init.upper.push_back(a->value.i4());
              r.fixedArray = !init.upper.empty();
              Bind(name->name, r);
              init.ref = r;
              proc_->arrays.push_back(std::move(init));
            }
          }
          break;
        case StmtKind::kReDim:
          for (auto& item : s->items) {
            const std::string& name = item->left->name;
            const bool known = moduleLevel_ ? scope_->Find(name) != nullptr
                                            : (locals_.count(name) != 0 || Visible(name));
            if (!known) {
              NameRef r;
              RETURN_IF_FAILED(NewVariable(name, false, s->line, s->column, &r));
            }
          }
          break;
        case StmtKind::kConst:
          for (auto& item : s->items) {
            if (DeclaredHere(item->name)) return Fail(kErrNameRedefined, s->line, s->column);
            NameRef r;
            r.kind = RefKind::kConst;
            RETURN_IF_FAILED(Fold(item->right.get(), &r.value));
            Bind(item->name, r);
          }
          break;
        case StmtKind::kIf:
        case StmtKind::kSelect:
          for (auto& b : s->branches) RETURN_IF_FAILED(Declare(b.body));
          RETURN_IF_FAILED(Declare(s->body));
          break;
        case StmtKind::kFor: case StmtKind::kForEach: case StmtKind::kDo: case StmtKind::kWith:
          RETURN_IF_FAILED(Declare(s->body));
          break;
        default:
          break;
      }
    }
    return S_OK;
  }

  // True when a procedure's ReDim names a variable of its class or module.
  bool Visible(std::string_view name) const {
    if (class_ != nullptr) {
      const auto it = class_->memberIndex.find(name);
      if (it != class_->memberIndex.end()) {
        return class_->members[static_cast<size_t>(it->second)].field >= 0;
      }
    }
    const NameRef* r = scope_->Find(name);
    return r != nullptr && r->kind == RefKind::kGlobal;
  }

  // A constant's value: literals, other constants, and operators on them.
  HRESULT Fold(const Expr* e, Variant* out) {
    switch (e->kind) {
      case ExprKind::kLiteral:
        *out = e->value;
        return S_OK;
      case ExprKind::kParen:
        return Fold(e->left.get(), out);
      case ExprKind::kName: {
        NameRef r = Lookup(e->name);
        if (r.kind == RefKind::kConst) {
          *out = r.value;
          return S_OK;
        }
        break;
      }
      case ExprKind::kUnary: {
        Variant v;
        RETURN_IF_FAILED(Fold(e->left.get(), &v));
        if (e->op == Op::kNeg && VarNeg(v, out).succeeded()) return S_OK;
        if (e->op == Op::kNot && VarNot(v, out).succeeded()) return S_OK;
        break;
      }
      default:
        break;
    }
    return Fail(kErrExpectedLiteral, e->line, e->column);
  }

  // What a name means here, without creating anything: the procedure's own
  // names, then its class's members, then the module's, then the built-ins.
  NameRef Lookup(std::string_view name) const {
    if (haveLocals_) {
      const auto it = locals_.find(name);
      if (it != locals_.end()) return it->second;
    }
    NameRef r;
    if (class_ != nullptr) {
      const auto it = class_->memberIndex.find(name);
      if (it != class_->memberIndex.end()) {
        const ClassMember& m = class_->members[static_cast<size_t>(it->second)];
        if (m.field >= 0) {
          r.kind = RefKind::kField;
          r.index = m.field;
          for (const ArrayInit& a : class_->arrays) {
            if (a.ref.index == m.field) r.fixedArray = a.ref.fixedArray;
          }
        } else if (m.method != nullptr) {
          r.kind = RefKind::kProc;
          r.proc = m.method;
        } else {
          r.kind = RefKind::kMember;
          r.index = it->second;
        }
        return r;
      }
    }
    if (const NameRef* found = scope_->Find(name)) return *found;
    Variant value;
    if (FindBuiltinConstant(name, &value)) {
      r.kind = RefKind::kConst;
      r.value = value;
      return r;
    }
    if (const BuiltinInfo* b = FindBuiltin(name)) {
      r.kind = RefKind::kBuiltin;
      r.builtin = b;
    }
    return r;
  }

  HRESULT Resolve(const Expr* e, NameRef* out) {
    *out = Lookup(e->name);
    if (out->kind != RefKind::kUnresolved) return S_OK;
    if (optionExplicit_) {
      out->kind = RefKind::kUndefined;
      return S_OK;
    }
    return NewVariable(e->name, true, e->line, e->column, out);
  }

  HRESULT ResolveBlock(Block& block) {
    for (auto& s : block) RETURN_IF_FAILED(ResolveStmt(*s));
    return S_OK;
  }

  HRESULT ResolveStmt(Stmt& s) {
    if (s.target) RETURN_IF_FAILED(ResolveExpr(s.target.get()));
    if (s.value) RETURN_IF_FAILED(ResolveExpr(s.value.get()));
    if (s.limit) RETURN_IF_FAILED(ResolveExpr(s.limit.get()));
    if (s.step) RETURN_IF_FAILED(ResolveExpr(s.step.get()));
    if (s.kind == StmtKind::kReDim || s.kind == StmtKind::kErase) {
      for (auto& item : s.items) RETURN_IF_FAILED(ResolveExpr(item.get()));
    }
    for (auto& b : s.branches) {
      for (auto& t : b.tests) RETURN_IF_FAILED(ResolveExpr(t.get()));
      RETURN_IF_FAILED(ResolveBlock(b.body));
    }
    if (s.kind == StmtKind::kWith) {
      s.withRef = Hidden();
      with_.push_back(s.withRef);
      const HRESULT hr = ResolveBlock(s.body);
      with_.pop_back();
      return hr;
    }
    return ResolveBlock(s.body);
  }

  HRESULT ResolveExpr(Expr* e) {
    switch (e->kind) {
      case ExprKind::kLiteral: {
        e->pure = true;
        Num n;
        e->numeric = ToNum(e->value, &n);
        return S_OK;
      }
      case ExprKind::kName: {
        RETURN_IF_FAILED(Resolve(e, &e->ref));
        const RefKind k = e->ref.kind;
        e->pure = !e->ref.implicit && (k == RefKind::kLocal || k == RefKind::kField ||
                                       k == RefKind::kConst || k == RefKind::kGlobal);
        Num n;
        e->numeric = e->pure && (k != RefKind::kConst || ToNum(e->ref.value, &n));
        return S_OK;
      }
      case ExprKind::kMember:
        if (e->left) return ResolveExpr(e->left.get());
        if (!with_.empty()) e->withRef = with_.back();
        return S_OK;
      case ExprKind::kIndex:
        if (e->left->kind == ExprKind::kName && proc_->isFunction && !moduleLevel_ &&
            EqualsNoCase(e->left->name, proc_->name)) {
          // The function's own name with arguments is a call, not its result.
          e->left->ref.kind = RefKind::kProc;
          e->left->ref.proc = proc_;
        } else {
          RETURN_IF_FAILED(ResolveExpr(e->left.get()));
        }
        for (auto& a : e->args) {
          if (a) RETURN_IF_FAILED(ResolveExpr(a.get()));
        }
        return S_OK;
      case ExprKind::kParen:
      case ExprKind::kUnary:
        RETURN_IF_FAILED(ResolveExpr(e->left.get()));
        e->pure = e->left->pure;
        e->numeric = e->left->numeric;
        return S_OK;
      case ExprKind::kBinary:
        RETURN_IF_FAILED(ResolveExpr(e->left.get()));
        RETURN_IF_FAILED(ResolveExpr(e->right.get()));
        e->pure = e->left->pure && e->right->pure;
        e->numeric = IsNumericOp(e->op) && e->left->numeric && e->right->numeric;
        return S_OK;
      case ExprKind::kNew:
        // A class ExecuteGlobal defines later is looked up when New runs.
        if (const NameRef* r = scope_->Find(e->name); r != nullptr && r->kind == RefKind::kClass) {
          e->ref = *r;
        }
        return S_OK;
      case ExprKind::kMe:
        if (class_ == nullptr) return Fail(kErrInvalidMe, e->line, e->column);
        e->pure = true;
        return S_OK;
    }
    return S_OK;
  }

  ModuleScope* scope_;
  bool optionExplicit_;
  bool nested_;  // a text of Execute / ExecuteGlobal / Eval rather than the script
  ParseError* error_;
  SymbolMap defined_;  // the procedures and classes of this text

  // The code being resolved.
  Proc* proc_ = nullptr;  // takes the slots and declared arrays
  const ClassDef* class_ = nullptr;
  bool moduleLevel_ = true;  // declarations make module variables
  bool haveLocals_ = false;
  SymbolMap locals_;
  int32_t slots_ = 0;
  std::vector<NameRef> with_;
};

}  // namespace

HRESULT Compile(Script* script, ModuleScope* scope, ParseError* error) {
  *error = ParseError{};
  return Compiler(scope, script->optionExplicit, false, error).Run(script, nullptr);
}

HRESULT CompileText(Script* script, ModuleScope* scope, const Proc* within, bool optionExplicit,
                    ParseError* error) {
  *error = ParseError{};
  return Compiler(scope, optionExplicit || script->optionExplicit, true, error)
      .Run(script, within);
}

HRESULT CompileExpression(Expr* expr, ModuleScope* scope, const Proc* within,
                          bool optionExplicit, ParseError* error) {
  *error = ParseError{};
  return Compiler(scope, optionExplicit, true, error).RunExpression(expr, within);
}

}  // namespace tavrix::vbs
