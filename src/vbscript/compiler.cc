#include "vbscript/compiler.h"

#include "platform/arith.h"
#include "platform/convert.h"
#include "vbscript/builtins.h"
#include "vbscript/errors.h"

namespace tavrix::vbs {

int32_t GlobalTable::Add(std::string_view name) {
  const int32_t found = Find(name);
  if (found >= 0) return found;
  const auto slot = static_cast<int32_t>(names_.size());
  names_.emplace_back(name);
  index_.emplace(std::string(name), slot);
  return slot;
}

int32_t GlobalTable::Find(std::string_view name) const {
  const auto it = index_.find(name);
  return it == index_.end() ? -1 : it->second;
}

namespace {

using SymbolMap = std::unordered_map<std::string, NameRef, NoCaseHash, NoCaseEqual>;

class Compiler {
 public:
  Compiler(Script* script, GlobalTable* globals, ParseError* error)
      : script_(script), globals_(globals), error_(error) {}

  HRESULT Run() {
    for (size_t i = 0; i < globals_->size(); ++i) {
      NameRef r;
      r.kind = RefKind::kGlobal;
      r.index = static_cast<int32_t>(i);
      module_[globals_->name(static_cast<int32_t>(i))] = r;
    }
    for (const auto& p : script_->procs) {
      if (module_.count(p->name) != 0) return Fail(kErrNameRedefined, p->line, 1);
      NameRef r;
      r.kind = RefKind::kProc;
      r.proc = p.get();
      module_[p->name] = r;
    }
    proc_ = &script_->module;
    RETURN_IF_FAILED(Declare(script_->module.body));
    RETURN_IF_FAILED(ResolveBlock(script_->module.body));
    for (auto& p : script_->procs) {
      proc_ = p.get();
      locals_.clear();
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
    }
    return S_OK;
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
  bool InModule() const { return proc_->isModule; }
  static NameRef Local(int32_t slot) {
    NameRef r;
    r.kind = RefKind::kLocal;
    r.index = slot;
    return r;
  }
  // A new variable in the current scope.
  NameRef NewVariable(std::string_view name) {
    NameRef r;
    if (InModule()) {
      r.kind = RefKind::kGlobal;
      r.index = globals_->Add(name);
      module_[std::string(name)] = r;
    } else {
      r = Local(slots_++);
      locals_[std::string(name)] = r;
    }
    return r;
  }
  NameRef Hidden() {
    if (InModule()) {
      NameRef r;
      r.kind = RefKind::kGlobal;
      r.index = globals_->Add(" with" + std::to_string(hidden_++));
      return r;
    }
    return Local(slots_++);
  }
  bool DeclaredHere(std::string_view name) const {
    return InModule() ? module_.count(name) != 0 : locals_.count(name) != 0;
  }

  // Dim, ReDim and Const anywhere in a body declare for the whole scope.
  HRESULT Declare(Block& block) {
    for (auto& s : block) {
      switch (s->kind) {
        case StmtKind::kDim:
          for (auto& item : s->items) {
            Expr* name = item->kind == ExprKind::kIndex ? item->left.get() : item.get();
            if (DeclaredHere(name->name)) return Fail(kErrNameRedefined, s->line, s->column);
            NameRef r = NewVariable(name->name);
            if (item->kind == ExprKind::kIndex && !item->args.empty()) {
              Proc::FixedArray fa;
              for (auto& a : item->args) fa.upper.push_back(a->value.i4());
              r.fixedArray = true;
              (InModule() ? module_ : locals_)[name->name] = r;
              fa.ref = r;
              proc_->fixedArrays.push_back(std::move(fa));
            }
          }
          break;
        case StmtKind::kReDim:
          for (auto& item : s->items) {
            if (!DeclaredHere(item->left->name) &&
                (InModule() || module_.count(item->left->name) == 0)) {
              NewVariable(item->left->name);
            }
          }
          break;
        case StmtKind::kConst:
          for (auto& item : s->items) {
            if (DeclaredHere(item->name)) return Fail(kErrNameRedefined, s->line, s->column);
            NameRef r;
            r.kind = RefKind::kConst;
            RETURN_IF_FAILED(Fold(item->right.get(), &r.value));
            (InModule() ? module_ : locals_)[item->name] = r;
          }
          break;
        case StmtKind::kIf:
          for (auto& b : s->branches) RETURN_IF_FAILED(Declare(b.body));
          RETURN_IF_FAILED(Declare(s->body));
          break;
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

  // What a name means here, without creating anything.
  NameRef Lookup(std::string_view name) const {
    if (!InModule()) {
      const auto it = locals_.find(name);
      if (it != locals_.end()) return it->second;
    }
    const auto it = module_.find(name);
    if (it != module_.end()) return it->second;
    NameRef r;
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

  NameRef Resolve(std::string_view name) {
    NameRef r = Lookup(name);
    if (r.kind != RefKind::kUnresolved) return r;
    if (script_->optionExplicit) {
      r.kind = RefKind::kUndefined;
      return r;
    }
    return NewVariable(name);
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
      case ExprKind::kLiteral:
        return S_OK;
      case ExprKind::kName:
        e->ref = Resolve(e->name);
        return S_OK;
      case ExprKind::kMember:
        if (e->left) return ResolveExpr(e->left.get());
        if (!with_.empty()) e->withRef = with_.back();
        return S_OK;
      case ExprKind::kIndex:
        if (e->left->kind == ExprKind::kName && proc_->isFunction &&
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
        return ResolveExpr(e->left.get());
      case ExprKind::kBinary:
        RETURN_IF_FAILED(ResolveExpr(e->left.get()));
        return ResolveExpr(e->right.get());
    }
    return S_OK;
  }

  Script* script_;
  GlobalTable* globals_;
  ParseError* error_;
  Proc* proc_ = nullptr;
  SymbolMap module_;
  SymbolMap locals_;
  int32_t slots_ = 0;
  int hidden_ = 0;
  std::vector<NameRef> with_;
};

}  // namespace

HRESULT Compile(Script* script, GlobalTable* globals, ParseError* error) {
  *error = ParseError{};
  return Compiler(script, globals, error).Run();
}

}  // namespace tavrix::vbs
