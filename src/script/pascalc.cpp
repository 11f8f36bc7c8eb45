#include "script/pascalc.h"

#include "script/native_stack.h"

#include <algorithm>
#include <exception>
#include <optional>

namespace kq::script {

namespace {

constexpr uint64_t Bit(uint8_t code) {
    return uint64_t{1} << code;
}
constexpr uint64_t kSemicolon = Bit(kTokSemicolon);

// The two Windows-1251 letters (o, r) of this message are kept as raw bytes.
constexpr std::string_view kInvalidOperatorCyr = "Invalid \xEE\xF0"
                                                 "erator: ";

// The operator an infix token stands for; none for a token that is no binary operator.
std::optional<BinaryOp> BinaryOpOfToken(uint8_t code) {
    switch (code) {
    case kTokPlus:
        return BinaryOp::Add;
    case kTokMinus:
        return BinaryOp::Subtract;
    case kTokStar:
        return BinaryOp::Multiply;
    case kTokSlash:
        return BinaryOp::Divide;
    case kTokCaret:
        return BinaryOp::Power;
    case kTokAnd:
        return BinaryOp::And;
    case kTokOr:
        return BinaryOp::Or;
    case kTokXor:
        return BinaryOp::Xor;
    case kTokShl:
        return BinaryOp::Shl;
    case kTokShr:
        return BinaryOp::Shr;
    case kTokEq:
        return BinaryOp::Equal;
    case kTokNe:
        return BinaryOp::NotEqual;
    case kTokGt:
        return BinaryOp::Greater;
    case kTokLt:
        return BinaryOp::Less;
    case kTokGe:
        return BinaryOp::GreaterEqual;
    case kTokLe:
        return BinaryOp::LessEqual;
    default:
        return std::nullopt;
    }
}

std::string Words(Span span) {
    std::string out;
    for (const Token* t = span.b; t != span.e; ++t) {
        if (t != span.b) {
            out.push_back(' ');
        }
        out += t->text;
    }
    return out;
}

const Token* FindFirst(Span span, uint64_t mask) {
    for (const Token* t = span.b; t != span.e; ++t) {
        if (mask & Bit(t->code)) {
            return t;
        }
    }
    return nullptr;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') {
        s.remove_prefix(1);
    }
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') {
        s.remove_suffix(1);
    }
    return s;
}

std::string UpperName(std::string_view s) {
    std::string out(TrimBlanks(s));
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 32);
        }
    }
    return out;
}

bool IsStringish(const Value& v) {
    return v.IsString();
}

} // namespace

TPasCalc::TPasCalc(ScriptEnv* env) {
    if (!env) {
        ownEnv_ = std::make_unique<ScriptEnv>();
        env = ownEnv_.get();
    }
    env_ = env;
}

// ---------------------------------------------------------------------------------------------
// Registration and public operations

bool TPasCalc::SetFunction(std::string_view name, NativeRoutine routine) {
    std::string upper = UpperName(name);
    uint64_t hash = HashName(upper);
    auto it = functionIndex_.find(hash);
    if (it == functionIndex_.end()) {
        if (!routine || !IsValidVarName(upper)) {
            return false;
        }
        functionIndex_.emplace(hash, functions_.size());
        functions_.push_back(NativeFunc{std::move(upper), std::move(routine)});
        return true;
    }
    if (routine) {
        functions_[it->second].routine = std::move(routine);
        return true;
    }
    size_t idx = it->second;
    functions_.erase(functions_.begin() + static_cast<std::ptrdiff_t>(idx));
    functionIndex_.clear();
    for (size_t i = 0; i < functions_.size(); ++i) {
        functionIndex_.emplace(HashName(functions_[i].name), i);
    }
    return true;
}

bool TPasCalc::HasFunction(std::string_view name) const {
    return functionIndex_.count(HashName(UpperName(name))) > 0;
}

std::vector<std::string> TPasCalc::FunctionNames() const {
    std::vector<std::string> names;
    names.reserve(functions_.size());
    for (const NativeFunc& f : functions_) {
        names.push_back(f.name);
    }
    return names;
}

const TPasCalc::NativeFunc* TPasCalc::FindFunction(const Token& name) const {
    auto it = functionIndex_.find(name.hash);
    if (it == functionIndex_.end() || functions_[it->second].name != name.text) {
        return nullptr;
    }
    return &functions_[it->second];
}

const TProcedure* TPasCalc::FindProcedure(const Token& name) const {
    if (procedures_.empty()) {
        return nullptr;
    }
    auto it = procedureIndex_.find(name.hash);
    if (it == procedureIndex_.end() || procedures_[it->second]->name != name.text) {
        return nullptr;
    }
    return procedures_[it->second].get();
}

const TProcedure* TPasCalc::FindProcedure(std::string_view name) const {
    Token t = MakeToken(kTokIdent, UpperName(name));
    return FindProcedure(t);
}

void TPasCalc::Reset() {
    blockDepth_ = -1;
    jumpState_ = 0;
    gotoLabel_.clear();
    stopRequested_ = false;
    errorCode_ = 0;
    errorMessage_.clear();
    errorText_.clear();
    errorLine_.clear();
}

void TPasCalc::RestoreStatementState(StatementState s) {
    blockDepth_ = s.blockDepth;
    jumpState_ = s.jumpState;
    gotoLabel_ = std::move(s.gotoLabel);
}

CodePtr TPasCalc::CompileCached(std::string_view source) {
    if (cachedCompiled_ && cachedSource_ == source) {
        return cachedCompiled_;
    }
    auto code = std::make_shared<Code>(CompileSource(source));
    cachedSource_.assign(source);
    cachedCompiled_ = code;
    return code;
}

PreparedScript TPasCalc::Prepare(std::string_view source) {
    Reset();
    procedures_.clear();
    procedureIndex_.clear();
    CodePtr compiled;
    if (source.find(kTokenMarker) != std::string_view::npos) {
        compiled = std::make_shared<Code>(DeserializeTokens(source));
    } else {
        compiled = CompileCached(source);
    }
    auto main = std::make_shared<Code>();
    Link(*compiled, main->tokens, 0);
    PreparedScript out;
    out.text = SerializeTokens(WholeSpan(*main));
    out.code = std::move(main);
    return out;
}

bool TPasCalc::Run(std::string_view source) {
    stackFloor_ = ScriptStackFloor();
    PreparedScript prepared = Prepare(source);
    CodePtr keep = prepared.code;
    ExecuteSequence(WholeSpan(*keep));
    blockDepth_ = -1;
    return errorCode_ == 0;
}

bool TPasCalc::RunPrepared(const PreparedScript& script) {
    if (!script.code) {
        return RunPrepared(std::string_view(script.text));
    }
    Reset();
    procedures_.clear();
    procedureIndex_.clear();
    stackFloor_ = ScriptStackFloor();
    CodePtr keep = script.code;
    ExecuteSequence(WholeSpan(*keep));
    blockDepth_ = -1;
    return errorCode_ == 0;
}

bool TPasCalc::RunPrepared(std::string_view preparedText) {
    PreparedScript script;
    auto it = preparedCache_.find(preparedText);
    if (it != preparedCache_.end()) {
        script.code = it->second;
    } else {
        if (preparedCache_.size() >= kPreparedCacheLimit) {
            preparedCache_.clear();
        }
        script.code = std::make_shared<Code>(DeserializeTokens(preparedText));
        preparedCache_.emplace(std::string(preparedText), script.code);
    }
    return RunPrepared(script);
}

bool TPasCalc::EvaluateSource(std::string_view source, Value& out) {
    Code code = CompileSource(source);
    stackFloor_ = ScriptStackFloor();
    return Evaluate(WholeSpan(code), out);
}

bool TPasCalc::GetVar(std::string_view name, TVar& out) {
    std::string upper = UpperName(name);
    out.name = upper;
    return ReadVariable(upper, HashName(upper), out.value);
}

bool TPasCalc::SetVarValue(std::string_view name, const Value& value) {
    return vars_.SetValue(UpperName(name), value);
}

bool TPasCalc::SetVar(const TVar& var) {
    return StoreVariable(var.name, HashName(var.name), var.value, Span{});
}

void TPasCalc::ReportError(std::string_view message, Span text, int code) {
    if (errorCode_ != 0) {
        return;
    }
    errorCode_ = code;
    errorMessage_.assign(message);
    errorText_ = SpanText(text);
    errorLine_ = errorMessage_ + " (" + errorText_ + " in " + env_->ElementDescription() + ") " +
                 env_->eventName;
    env_->WriteLine(errorLine_);
}

bool TPasCalc::EnterNesting() {
    if (nesting_ >= kMaxNesting || !StackLeft()) {
        return false;
    }
    ++nesting_;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Variables

bool TPasCalc::ReadVariable(std::string_view name, uint64_t hash, Value& out) {
    if (const TVar* v = vars_.Lookup(name, hash)) {
        out = v->value;
        return true;
    }
    return ReadPath(*env_, env_->self, name, vars_, out);
}

bool TPasCalc::StoreVariable(std::string_view name, uint64_t hash, Value value, Span where) {
    if (TVar* v = vars_.Lookup(name, hash)) {
        v->value = std::move(value);
        return true;
    }
    switch (WritePath(*env_, env_->self, name, value, vars_)) {
    case PathWrite::Stored:
        return true;
    case PathWrite::Refused:
        // The property exists but cannot take this value: an error, not a new variable.
        ReportError("Invalid variable type: " + std::string(name), where, 5);
        return false;
    case PathWrite::NotBound:
        break;
    }
    if (!IsValidVarName(name)) {
        return false;
    }
    if (name.find('.') != std::string_view::npos) {
        env_->Warn("Add var ", name);
    }
    vars_.Append(name, std::move(value));
    return true;
}

void TPasCalc::WarnDottedCopies(const TVarList& list) {
    if (list.DottedCount() == 0) {
        return;
    }
    for (const TVar& v : list.Items()) {
        if (v.name.find('.') != std::string::npos) {
            env_->Warn("Add var ", v.name);
        }
    }
}

std::string_view TPasCalc::ArgumentVariable(Span arg, std::string& scratch) const {
    if (arg.Size() == 1) {
        const Token& t = *arg.b;
        if (t.code == kTokIdent && t.validName && vars_.IndexOf(t.text, t.hash) >= 0) {
            return t.text;
        }
        return {};
    }
    if (arg.Empty()) {
        return {};
    }
    scratch = JoinedText(arg);
    if (IsValidVarName(scratch) && vars_.IndexOf(scratch) >= 0) {
        return scratch;
    }
    return {};
}

// ---------------------------------------------------------------------------------------------
// Linking

bool TPasCalc::Link(const Code& compiled, std::vector<Token>& mainOut, int includeDepth) {
    Span text = WholeSpan(compiled);
    const Token* pos = text.b;
    while (pos < text.e && errorCode_ == 0) {
        Span stmt;
        if (!Collect(text, pos, kSemicolon, stmt)) {
            return false;
        }
        if (stmt.Empty()) {
            continue;
        }
        const uint8_t first = stmt.b->code;
        if (first == kTokProcedure || first == kTokFunction) {
            if (stmt.Size() < 2 || stmt.b[1].code != kTokIdent) {
                ReportError("Invalid procedure name", stmt, 4);
                return false;
            }
            const Token& nameTok = stmt.b[1];
            if (FindProcedure(nameTok)) {
                ReportError("Duplicate procedure name", stmt, 24);
                return false;
            }
            if (stmt.Size() < 3 || stmt.b[2].code != kTokLParen) {
                ReportError("( expected", stmt, 2);
                return false;
            }
            auto proc = std::make_shared<TProcedure>();
            proc->name = nameTok.text;
            proc->isFunction = first == kTokFunction;
            const Token* q = stmt.b + 3;
            bool closed = false;
            for (; q < stmt.e; ++q) {
                if (q->code == kTokRParen) {
                    closed = true;
                    break;
                }
                if (q->code == kTokIdent) {
                    proc->params.push_back(q->text);
                    proc->paramHashes.push_back(q->hash);
                } else if (q->code != kTokComma) {
                    break;
                }
            }
            if (!closed) {
                ReportError("Invalid function call", stmt, 7);
                return false;
            }
            Span body;
            if (!Collect(text, pos, kSemicolon, body)) {
                return false;
            }
            auto bodyCode = std::make_shared<Code>();
            bodyCode->tokens.assign(body.b, body.e);
            proc->body = std::move(bodyCode);
            procedureIndex_[nameTok.hash] = procedures_.size();
            procedures_.push_back(std::move(proc));
            continue;
        }
        if (first == kTokUses || first == kTokInclude) {
            const std::string keyword(TokenName(first));
            Span expr{stmt.b + 1, stmt.e};
            Value nameValue;
            std::string fileName;
            if (!Evaluate(expr, nameValue) || !ToText(nameValue, fileName)) {
                ReportError("Invalid filename \"" + Words(expr) + "\" in " + keyword + " statement",
                            stmt, 1);
                return false;
            }
            std::optional<std::string> content;
            if (includeDepth < kMaxIncludeDepth) {
                content =
                    env_->readFile ? env_->readFile(fileName) : ReadScriptFileFromDisk(fileName);
            }
            if (!content) {
                // The platform's "file not found" number; nesting too deep reports the same.
                ReportError("Can't open file \"" + Words(expr) + "\", error code 2", stmt, 25);
                return false;
            }
            auto sub = std::make_shared<Code>(content->find(kTokenMarker) != std::string::npos
                                                  ? DeserializeTokens(*content)
                                                  : CompileSource(*content));
            std::vector<Token> subMain;
            if (!Link(*sub, subMain, includeDepth + 1)) {
                return false;
            }
            if (first == kTokInclude) {
                mainOut.insert(mainOut.end(), std::make_move_iterator(subMain.begin()),
                               std::make_move_iterator(subMain.end()));
            }
            continue;
        }
        mainOut.insert(mainOut.end(), stmt.b, stmt.e);
        mainOut.push_back(MakeToken(kTokSemicolon, ";"));
    }
    return errorCode_ == 0;
}

// ---------------------------------------------------------------------------------------------
// Statements

bool TPasCalc::Collect(Span text, const Token*& pos, uint64_t terminators, Span& stmt,
                       const Token** terminator) {
    int block = 0;
    int repeat = 0;
    for (const Token* p = pos; p < text.e; ++p) {
        const uint8_t code = p->code;
        if (block == 0 && repeat == 0 && (terminators & Bit(code))) {
            stmt = {pos, p};
            pos = p + 1;
            if (terminator) {
                *terminator = p;
            }
            return true;
        }
        switch (code) {
        case kTokBegin:
        case kTokCase:
            ++block;
            break;
        case kTokEndKw:
            --block;
            break;
        case kTokRepeat:
            ++repeat;
            break;
        case kTokUntil:
            --repeat;
            break;
        default:
            break;
        }
    }
    stmt = {pos, text.e};
    pos = text.e;
    if (terminator) {
        *terminator = nullptr;
    }
    if (block > 0) {
        ReportError("END expected", stmt, 10);
    } else if (block < 0) {
        ReportError("Too many END", stmt, 11);
    } else if (repeat > 0) {
        ReportError("UNTIL expected", stmt, 16);
    } else if (repeat < 0) {
        ReportError("Too many UNTIL", stmt, 17);
    } else {
        return true;
    }
    return false;
}

void TPasCalc::StepHook() {
    if (stopRequested_) {
        jumpState_ = kTokExit;
    }
    if (OnStep) {
        OnStep();
    }
}

const Token* TPasCalc::FindLabel(Span text) {
    const Token* pos = text.b;
    while (pos < text.e && errorCode_ == 0) {
        const Token* start = pos;
        Span stmt;
        if (!Collect(text, pos, kSemicolon, stmt)) {
            return nullptr;
        }
        if (stmt.Size() >= 2 && stmt.b[1].code == kTokColon &&
            (stmt.b->code == kTokIdent || stmt.b->code == kTokConst) &&
            stmt.b->text == gotoLabel_) {
            return start;
        }
    }
    return nullptr;
}

void TPasCalc::ExecuteSequence(Span text) {
    if (text.Empty()) {
        return;
    }
    if (!EnterNesting()) {
        ReportError("Error in expression", text, 1);
        return;
    }
    ++blockDepth_;
    const Token* pos = text.b;
    while (errorCode_ == 0 && pos < text.e) {
        Span stmt;
        if (!Collect(text, pos, kSemicolon, stmt)) {
            break;
        }
        ExecuteStatement(stmt);
        if (errorCode_ != 0) {
            break;
        }
        StepHook();
        if (jumpState_ == 0) {
            continue;
        }
        if (blockDepth_ == 0 && (jumpState_ == kTokBreak || jumpState_ == kTokContinue)) {
            ReportError(std::string(TokenName(jumpState_)) + " outside loop", stmt, 15);
            break;
        }
        if (jumpState_ != kTokGoto) {
            break;
        }
        const Token* target = FindLabel(text);
        if (!target) {
            break;
        }
        jumpState_ = 0;
        pos = target;
    }
    --blockDepth_;
    if (blockDepth_ < 0 && jumpState_ == kTokGoto) {
        ReportError("Label " + gotoLabel_ + " not exist or unreacheble", text, 18);
    }
    LeaveNesting();
}

void TPasCalc::ExecuteStatement(Span stmt) {
    if (stmt.Empty()) {
        return;
    }
    // A labelled statement reached in order runs like any other.
    if (stmt.Size() >= 2 && stmt.b[1].code == kTokColon &&
        (stmt.b->code == kTokIdent || stmt.b->code == kTokConst)) {
        ExecuteStatement({stmt.b + 2, stmt.e});
        return;
    }
    switch (stmt.b->code) {
    case kTokBegin:
        if (stmt.Size() < 2 || stmt.e[-1].code != kTokEndKw) {
            ReportError("END expected", stmt, 10);
            return;
        }
        ExecuteSequence({stmt.b + 1, stmt.e - 1});
        return;
    case kTokEndKw:
        ReportError("Too many END", stmt, 11);
        return;
    case kTokElse:
        ReportError("ELSE without IF", stmt, 9);
        return;
    case kTokIdent:
        DoAssignOrCall(stmt);
        return;
    case kTokIf:
        DoIf(stmt);
        return;
    case kTokFor:
        DoFor(stmt);
        return;
    case kTokWhile:
        DoWhile(stmt);
        return;
    case kTokRepeat:
        DoRepeat(stmt);
        return;
    case kTokCase:
        DoCase(stmt);
        return;
    case kTokBreak:
    case kTokContinue:
    case kTokExit:
        if (stmt.Size() != 1) {
            ReportError("Invalid " + std::string(TokenName(stmt.b->code)) + " operator", stmt, 1);
            return;
        }
        jumpState_ = stmt.b->code;
        return;
    case kTokGoto:
        DoGoto(stmt);
        return;
    default:
        ReportError("Invalid operator: " + stmt.b->text, stmt, 9);
        return;
    }
}

bool TPasCalc::ConditionValue(Span cond, bool& out) {
    Value v;
    if (!Evaluate(cond, v)) {
        ReportError("Error in expression", cond, 1);
        return false;
    }
    if (!ToBoolean(v, out)) {
        ReportError("Invalid condition type", cond, 5);
        return false;
    }
    return true;
}

bool TPasCalc::IntegerValue(Span expr, int32_t& out) {
    Value v;
    if (!Evaluate(expr, v)) {
        ReportError("Error in expression", expr, 1);
        return false;
    }
    if (!ToInt32(v, out)) {
        ReportError("Invalid loop variable value " + Words(expr), expr, 5);
        return false;
    }
    return true;
}

void TPasCalc::DoIf(Span stmt) {
    Span rest{stmt.b + 1, stmt.e};
    const Token* thenTok = FindFirst(rest, Bit(kTokThen));
    Span cond{rest.b, thenTok ? thenTok : rest.e};
    bool c = false;
    if (!ConditionValue(cond, c)) {
        return;
    }
    if (!thenTok) {
        return;
    }
    Span after{thenTok + 1, stmt.e};
    const Token* pos = after.b;
    Span thenPart;
    const Token* term = nullptr;
    if (!Collect(after, pos, kSemicolon | Bit(kTokElse), thenPart, &term)) {
        return;
    }
    if (c) {
        ExecuteSequence(thenPart);
    } else if (term && term->code == kTokElse) {
        ExecuteSequence({term + 1, stmt.e});
    }
}

void TPasCalc::DoFor(Span stmt) {
    Span rest{stmt.b + 1, stmt.e};
    const Token* toTok = FindFirst(rest, Bit(kTokTo) | Bit(kTokDownto));
    if (!toTok) {
        ReportError("TO or DOWNTO expected", stmt, 12);
        return;
    }
    Span head{rest.b, toTok};
    if (head.Empty() || head.b->code != kTokIdent) {
        ReportError("FOR control variable expected", stmt, 13);
        return;
    }
    const Token& var = *head.b;
    if (head.Size() < 2 || head.b[1].code != kTokAssign) {
        std::string found = head.Size() < 2 ? std::string() : head.b[1].text;
        ReportError(std::string(kInvalidOperatorCyr) + found + " ('FOR' expected ", stmt, 9);
        return;
    }
    int32_t from = 0;
    if (!IntegerValue({head.b + 2, toTok}, from)) {
        return;
    }
    Span tail{toTok + 1, stmt.e};
    const Token* doTok = FindFirst(tail, Bit(kTokDo));
    if (!doTok) {
        ReportError("DO expected", stmt, 14);
        return;
    }
    int32_t to = 0;
    if (!IntegerValue({tail.b, doTok}, to)) {
        return;
    }
    Span body{doTok + 1, stmt.e};
    const bool down = toTok->code == kTokDownto;
    for (int64_t i = from; down ? i >= to : i <= to; i += down ? -1 : 1) {
        TVar* v = vars_.Lookup(var.text, var.hash);
        if (!v) {
            ReportError("Invalid variable name: " + var.text, stmt, 1);
            return;
        }
        v->value = Value::Int(static_cast<int32_t>(i));
        ExecuteSequence(body);
        if (errorCode_ != 0) {
            return;
        }
        StepHook();
        if (jumpState_ == kTokBreak) {
            jumpState_ = 0;
            return;
        }
        if (jumpState_ == kTokContinue) {
            jumpState_ = 0;
        } else if (jumpState_ != 0) {
            return;
        }
    }
}

void TPasCalc::DoWhile(Span stmt) {
    Span rest{stmt.b + 1, stmt.e};
    const Token* doTok = FindFirst(rest, Bit(kTokDo));
    if (!doTok) {
        ReportError("DO expected", stmt, 14);
        return;
    }
    Span cond{rest.b, doTok};
    Span body{doTok + 1, stmt.e};
    for (;;) {
        bool c = false;
        if (!ConditionValue(cond, c) || !c) {
            return;
        }
        ExecuteSequence(body);
        if (errorCode_ != 0) {
            return;
        }
        StepHook();
        if (jumpState_ == kTokBreak) {
            jumpState_ = 0;
            return;
        }
        if (jumpState_ == kTokContinue) {
            jumpState_ = 0;
        } else if (jumpState_ != 0) {
            return;
        }
    }
}

void TPasCalc::DoRepeat(Span stmt) {
    Span rest{stmt.b + 1, stmt.e};
    const Token* untilTok = FindFirst(rest, Bit(kTokUntil));
    if (!untilTok) {
        ReportError("UNTIL expected", stmt, 16);
        return;
    }
    Span body{rest.b, untilTok};
    Span cond{untilTok + 1, stmt.e};
    for (;;) {
        ExecuteSequence(body);
        if (errorCode_ != 0) {
            return;
        }
        bool c = false;
        if (!ConditionValue(cond, c) || c) {
            return;
        }
        StepHook();
        if (jumpState_ == kTokBreak) {
            jumpState_ = 0;
            return;
        }
        if (jumpState_ == kTokContinue) {
            jumpState_ = 0;
        } else if (jumpState_ != 0) {
            return;
        }
    }
}

bool TPasCalc::CaseLabelMatches(Span label, const Value& selector, bool& matched) {
    matched = false;
    const Token* range = nullptr;
    int depth = 0;
    for (const Token* t = label.b; t != label.e; ++t) {
        if (t->code == kTokLParen || t->code == kTokLBracket) {
            ++depth;
        } else if (t->code == kTokRParen || t->code == kTokRBracket) {
            --depth;
        } else if (t->code == kTokRange && depth == 0 && !range) {
            range = t;
        }
    }
    Value low;
    Value high;
    if (range) {
        Span lowSpan{label.b, range};
        Span highSpan{range + 1, label.e};
        if (!Evaluate(lowSpan, low)) {
            ReportError("Error in expression", lowSpan, 1);
            return false;
        }
        if (!Evaluate(highSpan, high)) {
            ReportError("Error in expression", highSpan, 1);
            return false;
        }
        Value greater;
        if (IsStringish(low) != IsStringish(high) ||
            !ApplyBinary(BinaryOp::Greater, low, high, greater)) {
            ReportError("Invalid typecast in CASE range", label, 1);
            return false;
        }
        if (greater.RawInt() != 0) {
            std::swap(low, high);
        }
    } else {
        if (!Evaluate(label, low)) {
            ReportError("Error in expression", label, 1);
            return false;
        }
        high = low;
    }
    if (IsStringish(low) != IsStringish(selector)) {
        return true;
    }
    Value ge;
    Value le;
    if (ApplyBinary(BinaryOp::GreaterEqual, selector, low, ge) &&
        ApplyBinary(BinaryOp::LessEqual, selector, high, le)) {
        matched = ge.RawInt() != 0 && le.RawInt() != 0;
    }
    return true;
}

void TPasCalc::DoCase(Span stmt) {
    Span rest{stmt.b + 1, stmt.e};
    const Token* ofTok = FindFirst(rest, Bit(kTokOf));
    if (!ofTok) {
        ReportError("OF expected", stmt, 14);
        return;
    }
    Span selSpan{rest.b, ofTok};
    Value selector;
    if (!Evaluate(selSpan, selector)) {
        ReportError("Error in expression", selSpan, 1);
        return;
    }
    Span branches{ofTok + 1, stmt.e};
    const Token* pos = branches.b;
    bool hasElse = false;
    Span elsePart;
    for (;;) {
        if (pos >= branches.e) {
            ReportError("Error in CASE statement", stmt, 1);
            return;
        }
        if (pos->code == kTokEndKw) {
            if (hasElse) {
                ExecuteSequence(elsePart);
            }
            return;
        }
        if (pos->code == kTokElse) {
            if (hasElse) {
                ReportError("Too many ELSEin CASE statement", stmt, 28);
                return;
            }
            ++pos;
            if (!Collect(branches, pos, kSemicolon, elsePart)) {
                return;
            }
            hasElse = true;
            continue;
        }
        const Token* colon = FindFirst({pos, branches.e}, Bit(kTokColon));
        if (!colon) {
            ReportError(": expected", stmt, 29);
            return;
        }
        Span labels{pos, colon};
        if (labels.Empty()) {
            ReportError("Range defininition expected", stmt, 29);
            return;
        }
        pos = colon + 1;
        Span branch;
        if (!Collect(branches, pos, kSemicolon, branch)) {
            return;
        }
        // Labels are separated by commas outside parentheses and brackets.
        const Token* start = labels.b;
        int depth = 0;
        for (const Token* t = labels.b;; ++t) {
            if (t != labels.e) {
                if (t->code == kTokLParen || t->code == kTokLBracket) {
                    ++depth;
                } else if (t->code == kTokRParen || t->code == kTokRBracket) {
                    --depth;
                }
                if (!(t->code == kTokComma && depth == 0)) {
                    continue;
                }
            }
            bool matched = false;
            if (!CaseLabelMatches({start, t}, selector, matched)) {
                return;
            }
            if (matched) {
                ExecuteSequence(branch);
                return;
            }
            if (t == labels.e) {
                break;
            }
            start = t + 1;
        }
    }
}

void TPasCalc::DoGoto(Span stmt) {
    if (stmt.Size() < 2) {
        ReportError("Invalid label in GOTO", stmt, 1);
        return;
    }
    const Token& label = stmt.b[1];
    bool ok = label.code == kTokIdent || label.code == kTokConst;
    if (ok && label.code == kTokConst) {
        for (char ch : label.text) {
            ok = ok && IsIdentChar(static_cast<unsigned char>(ch));
        }
    }
    if (!ok || label.text.empty()) {
        ReportError("Invalid label in GOTO", stmt, 1);
        return;
    }
    if (stmt.Size() > 2) {
        ReportError("Error in GOTO statement", stmt, 1);
        return;
    }
    gotoLabel_ = label.text;
    jumpState_ = kTokGoto;
}

bool TPasCalc::IndexListSpan(const Token* p, const Token* end, Span& inner, const Token*& after,
                             Span where) {
    int depth = 0;
    for (const Token* t = p; t < end; ++t) {
        if (t->code == kTokLBracket) {
            ++depth;
        } else if (t->code == kTokRBracket) {
            if (--depth == 0) {
                inner = {p + 1, t};
                after = t + 1;
                return true;
            }
        }
    }
    ReportError("] expected", where, 21);
    return false;
}

bool TPasCalc::IndexText(Span inner, std::string& out) {
    out.clear();
    if (inner.Empty()) {
        return true;
    }
    const Token* start = inner.b;
    int depth = 0;
    for (const Token* t = inner.b;; ++t) {
        if (t != inner.e) {
            if (t->code == kTokLParen || t->code == kTokLBracket) {
                ++depth;
            } else if (t->code == kTokRParen || t->code == kTokRBracket) {
                --depth;
            }
            if (!(t->code == kTokComma && depth == 0)) {
                continue;
            }
        }
        Span part{start, t};
        Value v;
        if (!Evaluate(part, v)) {
            ReportError("Error in expression: " + Words(part), part, 1);
            return false;
        }
        int32_t i = 0;
        if (!ToInt32(v, i)) {
            ReportError("Invalid index: " + Words(part), part, 5);
            return false;
        }
        if (start != inner.b) {
            out.push_back(',');
        }
        out += std::to_string(i);
        if (t == inner.e) {
            break;
        }
        start = t + 1;
    }
    return true;
}

bool TPasCalc::CharacterIndex(const std::string& indexText, size_t length, size_t& index,
                              Span where) {
    if (indexText.empty()) {
        ReportError("Empty string index", where, 19);
        return false;
    }
    if (indexText.find(',') != std::string::npos) {
        ReportError("Invalid string index", where, 19);
        return false;
    }
    Number n;
    if (!ParseNumberText(indexText, n) || n.isFloat) {
        ReportError("Invalid string index : " + indexText, where, 19);
        return false;
    }
    if (n.i < 1 || static_cast<uint64_t>(n.i) > length) {
        ReportError("String index out of range: " + indexText, where, 19);
        return false;
    }
    index = static_cast<size_t>(n.i - 1);
    return true;
}

bool TPasCalc::StoreCharacter(const std::string& name, uint64_t hash, const std::string& indexText,
                              const Value& value, Span where) {
    Value current;
    if (!ReadVariable(name, hash, current)) {
        ReportError("Variable not found :" + name, where, 3);
        return false;
    }
    if (!current.IsString()) {
        ReportError("Invalid variable type: " + name, where, 5);
        return false;
    }
    size_t index = 0;
    if (!CharacterIndex(indexText, current.RawStr().size(), index, where)) {
        return false;
    }
    char ch = 0;
    if (value.IsString()) {
        if (value.RawStr().size() != 1) {
            ReportError("Character expected: '" + value.RawStr() + "'", where, 20);
            return false;
        }
        ch = value.RawStr()[0];
    } else {
        int32_t code = 0;
        if (!ToInt32(value, code)) {
            ReportError("Invalid variable type: " + name, where, 5);
            return false;
        }
        if (code < 0 || code > 255) {
            ReportError("Character value out of range: " + std::to_string(code), where, 20);
            return false;
        }
        ch = static_cast<char>(code);
    }
    current.MutableStr()[index] = ch;
    if (!StoreVariable(name, hash, std::move(current), where)) {
        ReportError("Invalid variable name: " + name, where, 4);
        return false;
    }
    return true;
}

void TPasCalc::DoAssignOrCall(Span stmt) {
    const Token& n = *stmt.b;
    const Token* p = stmt.b + 1;
    Span lists[2];
    int listCount = 0;
    while (p < stmt.e && p->code == kTokLBracket && listCount < 2) {
        if (!IndexListSpan(p, stmt.e, lists[listCount], p, stmt)) {
            return;
        }
        ++listCount;
    }
    if (p < stmt.e && p->code != kTokAssign && p->code != kTokLParen && p->code != kTokLBracket) {
        ReportError("Found " + p->text + ", expected :=, (, [ or ;", stmt, 1);
        return;
    }
    if (p == stmt.e || p->code != kTokAssign) {
        Value ignored;
        if (!Evaluate(stmt, ignored)) {
            ReportError("Error in expression", stmt, 1);
        }
        return;
    }
    Span rhs{p + 1, stmt.e};
    Value value;
    if (!Evaluate(rhs, value)) {
        ReportError("Error in expression", rhs, 1);
        return;
    }
    if (!n.validName) {
        ReportError("Invalid variable name: " + n.text, stmt, 4);
        return;
    }
    if (listCount == 0) {
        if (vars_.HasArray(n.hash)) {
            ReportError("Array with same name exist : " + n.text, stmt, 24);
            return;
        }
        if (!StoreVariable(n.text, n.hash, std::move(value), stmt)) {
            ReportError("Invalid variable name: " + n.text, stmt, 4);
        }
        return;
    }
    std::string index;
    if (!IndexText(lists[0], index)) {
        return;
    }
    const bool plainExists = vars_.IndexOf(n.text, n.hash) >= 0;
    if (listCount == 1 && plainExists) {
        StoreCharacter(n.text, n.hash, index, value, stmt);
        return;
    }
    if (plainExists) {
        ReportError("Variable with same name exist : " + n.text, stmt, 24);
        return;
    }
    std::string element = n.text + "[" + index + "]";
    const uint64_t elementHash = HashName(element);
    if (listCount == 1) {
        if (!StoreVariable(element, elementHash, std::move(value), stmt)) {
            ReportError("Invalid variable name: " + element, stmt, 4);
        }
        return;
    }
    std::string charIndex;
    if (!IndexText(lists[1], charIndex)) {
        return;
    }
    StoreCharacter(element, elementHash, charIndex, value, stmt);
}

// ---------------------------------------------------------------------------------------------
// Expressions

bool TPasCalc::Evaluate(Span text, Value& out) {
    if (text.Empty()) {
        ReportError("Empty string - not expression", text, 1);
        return false;
    }
    // Index lists nest evaluations without passing a nesting count.
    if (!StackLeft()) {
        ReportError("Error in expression", text, 1);
        return false;
    }
    Cursor c{text.b, text.e, text};
    if (!ParseOr(c, out)) {
        return false;
    }
    return errorCode_ == 0 && c.p == c.e;
}

void TPasCalc::TranslateOperand(Value& v) {
    if (!v.IsString() || v.RawStr().empty() || v.RawStr()[0] != '"' || !env_->scene) {
        return;
    }
    const std::string& s = v.RawStr();
    std::string_view key =
        s.size() >= 2 ? std::string_view(s).substr(1, s.size() - 2) : std::string_view();
    std::string translated = env_->scene->Translate(key);
    if (!translated.empty()) {
        v = Value::Str(std::move(translated));
    }
}

bool TPasCalc::ApplyInfix(uint8_t op, Value& left, Value& right, Span where) {
    TranslateOperand(left);
    TranslateOperand(right);
    Value result;
    const std::optional<BinaryOp> binary = BinaryOpOfToken(op);
    if (!binary || !ApplyBinary(*binary, left, right, result)) {
        ReportError("Invalid operand types for \"" + std::string(TokenName(op)) + "\"", where, 5);
        return false;
    }
    left = std::move(result);
    return true;
}

bool TPasCalc::ParseOr(Cursor& c, Value& out) {
    if (!ParseAnd(c, out)) {
        return false;
    }
    while (c.p < c.e && (c.p->code == kTokOr || c.p->code == kTokXor)) {
        uint8_t op = c.p->code;
        ++c.p;
        Value right;
        if (!ParseAnd(c, right) || !ApplyInfix(op, out, right, c.whole)) {
            return false;
        }
    }
    return true;
}

bool TPasCalc::ParseAnd(Cursor& c, Value& out) {
    if (!ParseCompare(c, out)) {
        return false;
    }
    while (c.p < c.e && c.p->code == kTokAnd) {
        ++c.p;
        Value right;
        if (!ParseCompare(c, right) || !ApplyInfix(kTokAnd, out, right, c.whole)) {
            return false;
        }
    }
    return true;
}

bool TPasCalc::ParseCompare(Cursor& c, Value& out) {
    if (!ParseAdd(c, out)) {
        return false;
    }
    while (c.p < c.e && (c.p->code == kTokEq || (c.p->code >= kTokNe && c.p->code <= kTokLe))) {
        uint8_t op = c.p->code;
        ++c.p;
        Value right;
        if (!ParseAdd(c, right) || !ApplyInfix(op, out, right, c.whole)) {
            return false;
        }
    }
    return true;
}

bool TPasCalc::ParseAdd(Cursor& c, Value& out) {
    if (!ParseMul(c, out)) {
        return false;
    }
    while (c.p < c.e && (c.p->code == kTokPlus || c.p->code == kTokMinus)) {
        uint8_t op = c.p->code;
        ++c.p;
        Value right;
        if (!ParseMul(c, right) || !ApplyInfix(op, out, right, c.whole)) {
            return false;
        }
    }
    return true;
}

bool TPasCalc::ParseMul(Cursor& c, Value& out) {
    if (!ParsePow(c, out)) {
        return false;
    }
    while (c.p < c.e && (c.p->code == kTokStar || c.p->code == kTokSlash)) {
        uint8_t op = c.p->code;
        ++c.p;
        Value right;
        if (!ParsePow(c, right) || !ApplyInfix(op, out, right, c.whole)) {
            return false;
        }
    }
    return true;
}

bool TPasCalc::ParsePow(Cursor& c, Value& out) {
    if (!ParseUnary(c, out)) {
        return false;
    }
    while (c.p < c.e && (c.p->code == kTokCaret || c.p->code == kTokShl || c.p->code == kTokShr)) {
        uint8_t op = c.p->code;
        ++c.p;
        Value right;
        if (!ParseUnary(c, right) || !ApplyInfix(op, out, right, c.whole)) {
            return false;
        }
    }
    return true;
}

bool TPasCalc::ParseUnary(Cursor& c, Value& out) {
    if (c.p < c.e && (c.p->code == kTokNot || c.p->code == kTokPlus || c.p->code == kTokMinus)) {
        uint8_t op = c.p->code;
        ++c.p;
        if (!EnterNesting()) {
            ReportError("Error in expression", c.whole, 1);
            return false;
        }
        Value operand;
        bool ok = ParseUnary(c, operand);
        LeaveNesting();
        if (!ok) {
            return false;
        }
        bool applied = true;
        if (op == kTokMinus) {
            applied = ApplyNegate(operand, out);
        } else if (op == kTokNot) {
            applied = ApplyNot(operand, out);
        } else {
            out = std::move(operand); // unary plus leaves its operand as it is
        }
        if (!applied) {
            ReportError("Invalid operand types for \"" + std::string(TokenName(op)) + "\"", c.whole,
                        5);
            return false;
        }
        return true;
    }
    return ParsePrimary(c, out);
}

bool TPasCalc::ParsePrimary(Cursor& c, Value& out) {
    if (c.p >= c.e) {
        ReportError("Error in expression", c.whole, 1);
        return false;
    }
    const Token& t = *c.p;
    switch (t.code) {
    case kTokConst:
        ++c.p;
        if (t.constState == ConstState::InvalidNumber) {
            ReportError("Invalid number: " + t.text, c.whole, 1);
            return false;
        }
        if (t.constState == ConstState::Unterminated) {
            ReportError("Unterminated string: " + t.text, c.whole, 6);
            return false;
        }
        out = t.constant;
        return true;
    case kTokTrue:
    case kTokFalse:
        ++c.p;
        out = Value::Bool(t.code == kTokTrue);
        return true;
    case kTokLParen: {
        ++c.p;
        if (!EnterNesting()) {
            ReportError("Error in expression", c.whole, 1);
            return false;
        }
        bool ok = ParseOr(c, out);
        LeaveNesting();
        if (!ok) {
            return false;
        }
        if (c.p >= c.e || c.p->code != kTokRParen) {
            ReportError("')' expected", c.whole, 2);
            return false;
        }
        ++c.p;
        return true;
    }
    case kTokIdent:
        return ParseIdentifier(c, out);
    default:
        ReportError("Unknown or invalid operator in expression: " + t.text, c.whole, 1);
        return false;
    }
}

bool TPasCalc::ArgumentSpan(const Token* p, const Token* end, Span& args, const Token*& after) {
    // p is the "(" token.
    int depth = 0;
    for (const Token* t = p; t < end; ++t) {
        if (t->code == kTokLParen) {
            ++depth;
        } else if (t->code == kTokRParen) {
            if (--depth == 0) {
                args = {p + 1, t};
                after = t + 1;
                return true;
            }
        }
    }
    args = {p + 1, end};
    after = end;
    return false;
}

bool TPasCalc::NextArgument(Span args, const Token*& p, Span& arg) {
    if (p == nullptr || p > args.e || args.Empty()) {
        return false;
    }
    int depth = 0;
    const Token* start = p;
    for (const Token* t = p;; ++t) {
        if (t == args.e) {
            arg = {start, t};
            p = args.e + 1; // past the end: no further argument
            return true;
        }
        if (t->code == kTokLParen) {
            ++depth;
        } else if (t->code == kTokRParen) {
            --depth;
        } else if (t->code == kTokComma && depth == 0) {
            arg = {start, t};
            p = t + 1;
            return true;
        }
    }
}

size_t TPasCalc::CountArguments(Span args) {
    if (args.Empty()) {
        return 0;
    }
    size_t n = 1;
    int depth = 0;
    for (const Token* t = args.b; t != args.e; ++t) {
        if (t->code == kTokLParen) {
            ++depth;
        } else if (t->code == kTokRParen) {
            --depth;
        } else if (t->code == kTokComma && depth == 0) {
            ++n;
        }
    }
    return n;
}

bool TPasCalc::ParseIdentifier(Cursor& c, Value& out) {
    const Token& n = *c.p;
    ++c.p;
    const bool paren = c.p < c.e && c.p->code == kTokLParen;
    const TProcedure* proc = FindProcedure(n);
    const NativeFunc* func = proc ? nullptr : FindFunction(n);
    if (paren || proc || func) {
        Span args{};
        if (paren) {
            const Token* after = nullptr;
            if (!ArgumentSpan(c.p, c.e, args, after)) {
                ReportError("Invalid function params: " + Words(args), c.whole, 1);
                return false;
            }
            c.p = after;
        }
        if (proc) {
            if (!CallProcedure(*proc, args, out)) {
                ReportError("Error in procedure: " + n.text, c.whole, 7);
                return false;
            }
            return true;
        }
        if (!CallNative(n, args, out)) {
            ReportError("Error in function: " + n.text, c.whole, 7);
            return false;
        }
        return true;
    }

    Span lists[2];
    int listCount = 0;
    while (c.p < c.e && c.p->code == kTokLBracket && listCount < 2) {
        if (!IndexListSpan(c.p, c.e, lists[listCount], c.p, c.whole)) {
            return false;
        }
        ++listCount;
    }
    if (listCount == 0) {
        if (vars_.HasArray(n.hash)) {
            ReportError("Array with same name exist : " + n.text, c.whole, 24);
            return false;
        }
        if (!ReadVariable(n.text, n.hash, out)) {
            ReportError("Variable not found: " + n.text, c.whole, 3);
            return false;
        }
        return true;
    }
    std::string index;
    if (!IndexText(lists[0], index)) {
        return false;
    }
    const TVar* plain = vars_.Lookup(n.text, n.hash);
    Value target;
    std::string targetName;
    std::string charIndex;
    if (listCount == 1 && plain) {
        target = plain->value;
        targetName = n.text;
        charIndex = std::move(index);
    } else {
        if (plain) {
            ReportError("Variable with same name exist : " + n.text, c.whole, 24);
            return false;
        }
        std::string element = n.text + "[" + index + "]";
        if (!ReadVariable(element, HashName(element), target)) {
            ReportError("Variable not found: " + element, c.whole, 3);
            return false;
        }
        if (listCount == 1) {
            out = std::move(target);
            return true;
        }
        if (!IndexText(lists[1], charIndex)) {
            return false;
        }
        targetName = std::move(element);
    }
    if (!target.IsString()) {
        ReportError("Invalid variable type: " + targetName, c.whole, 5);
        return false;
    }
    size_t at = 0;
    if (!CharacterIndex(charIndex, target.RawStr().size(), at, c.whole)) {
        return false;
    }
    out = Value::Str(std::string(1, target.RawStr()[at]));
    return true;
}

// ---------------------------------------------------------------------------------------------
// Calls

bool TPasCalc::CallNative(const Token& name, Span args, Value& out) {
    const NativeFunc* func = FindFunction(name);
    if (!func) {
        ReportError("Unknown function: " + name.text, args, 8);
        Env().NoteMissingNative(name.text);
        return false;
    }
    if (!EnterNesting()) {
        return false;
    }
    if (paramPool_.size() <= paramDepth_) {
        paramPool_.resize(paramDepth_ + 1);
    }
    std::vector<TVar> params = std::move(paramPool_[paramDepth_]);
    params.clear();
    ++paramDepth_;
    bool ok = true;
    std::string scratch;
    const Token* p = args.b;
    Span arg;
    while (ok && NextArgument(args, p, arg)) {
        Value v;
        if (!Evaluate(arg, v)) {
            ReportError("Invalid expression in function params: " + Words(arg), arg, 7);
            ok = false;
            break;
        }
        params.push_back(
            TVar{ArgumentVariable(arg, scratch).empty() ? "VALUE" : "VAR", std::move(v)});
    }
    TVar result;
    std::string failure;
    if (ok) {
        // Natives register functions only at start-up, so the reference stays valid.
        const NativeRoutine& routine = func->routine;
        try {
            ok = routine(*this, params, result);
        } catch (const std::exception& e) {
            ok = false;
            failure = e.what();
        } catch (...) {
            ok = false;
        }
        if (ok) {
            p = args.b;
            size_t i = 0;
            while (NextArgument(args, p, arg) && i < params.size()) {
                if (params[i].name == "VAR") {
                    std::string_view target = ArgumentVariable(arg, scratch);
                    if (!target.empty()) {
                        vars_.SetValue(target, params[i].value);
                    }
                }
                ++i;
            }
            out = std::move(result.value);
        } else if (errorCode_ == 0) {
            std::string message = "Invalid parameters, function " + name.text;
            if (!failure.empty()) {
                message += " : " + failure;
            }
            ReportError(message, args, 7);
        }
    }
    --paramDepth_;
    paramPool_[paramDepth_] = std::move(params);
    LeaveNesting();
    return ok && errorCode_ == 0;
}

bool TPasCalc::CallProcedure(const TProcedure& procRef, Span args, Value& out) {
    if (callDepth_ >= kMaxCallDepth || !StackLeft()) {
        ReportError("Too many nested calls, procedure " + procRef.name, args, 7);
        return false;
    }
    // Keep the routine alive: Exec inside it may empty the routine list.
    std::shared_ptr<const TProcedure> keep;
    for (const auto& p : procedures_) {
        if (p.get() == &procRef) {
            keep = p;
            break;
        }
    }
    if (!keep) {
        return false;
    }
    const TProcedure& proc = *keep;
    // Recursion is bounded by the call depth, not by the expression nesting it passes through:
    // the body starts with a nesting budget of its own.
    struct Guard {
        TPasCalc* self;
        int nesting;
        ~Guard() {
            self->nesting_ = nesting;
            --self->callDepth_;
        }
    } guard{this, nesting_};
    ++callDepth_;
    nesting_ = 0;

    TVarList snapshot = vars_;
    WarnDottedCopies(snapshot);
    if (CountArguments(args) != proc.params.size()) {
        ReportError("Wrong parameters amount, procedure " + proc.name, args, 7);
        return false;
    }
    const Token* p = args.b;
    Span arg;
    for (size_t i = 0; i < proc.params.size() && NextArgument(args, p, arg); ++i) {
        Value v;
        if (!Evaluate(arg, v)) {
            ReportError("Invalid expression in function params: " + Words(arg), arg, 7);
            return false;
        }
        if (!StoreVariable(proc.params[i], proc.paramHashes[i], std::move(v), arg)) {
            ReportError("Duplicate variable name: " + proc.params[i], arg, 24);
            return false;
        }
    }
    static const uint64_t kResultHash = HashName("RESULT");
    if (proc.isFunction) {
        vars_.Remove("RESULT");
    }
    CodePtr body = proc.body;
    ExecuteSequence(WholeSpan(*body));
    if (errorCode_ != 0) {
        return false;
    }
    if (jumpState_ == kTokExit) {
        jumpState_ = 0;
    } else if (jumpState_ == kTokBreak || jumpState_ == kTokContinue) {
        ReportError(std::string(TokenName(jumpState_)) + " outside loop", args, 15);
        return false;
    } else if (jumpState_ == kTokGoto) {
        ReportError("Label " + gotoLabel_ + " not exist or unreacheble", args, 18);
        return false;
    }
    TVarList after = std::move(vars_);
    WarnDottedCopies(after);
    vars_ = std::move(snapshot);
    WarnDottedCopies(vars_);
    std::string scratch;
    p = args.b;
    for (size_t i = 0; i < proc.params.size() && NextArgument(args, p, arg); ++i) {
        std::string_view target = ArgumentVariable(arg, scratch);
        if (target.empty()) {
            continue;
        }
        if (const TVar* finalValue = after.Lookup(proc.params[i], proc.paramHashes[i])) {
            vars_.SetValue(target, finalValue->value);
        }
    }
    if (proc.isFunction) {
        const TVar* result = after.Lookup("RESULT", kResultHash);
        if (!result) {
            ReportError("Function must return result : " + proc.name, args, 26);
            return false;
        }
        out = result->value;
    } else {
        out = Value();
    }
    return true;
}

} // namespace kq::script
