// Environments of report expressions: named variables, each an embedded
// function with its own evaluator, compiled and discarded as a group.
//
// Use counting: every evaluator's Compile takes one use of the global
// environment and its Discard gives it back. Compiling the global
// environment compiles its variables, whose evaluators take uses of their
// own; and a DiscardAll of the global environment reached while any
// environment is discarding or freeing its variables returns at once. So once
// the global variables are compiled they stay compiled for the rest of the
// program, and a report's variables can be discarded without recompiling
// the global ones each run.
#include "report/RepExpr.h"

#include "report/RepExprUnit.h"

#include "platform/rtl/Format.h"
#include "platform/rtl/StrUtils.h"

#include <QCoreApplication>

namespace zorbel {

namespace {

// Environments currently discarding or freeing their variables.
int discarding = 0;
// The global environment, and whether it has been freed at program end.
TRepEvEnvironment *globalEnvironment = nullptr;
bool globalFreed = false;

struct TDiscarding {
    TDiscarding() { ++discarding; }
    ~TDiscarding() { --discarding; }
    TDiscarding(const TDiscarding &) = delete;
    TDiscarding &operator=(const TDiscarding &) = delete;
};

struct TGlobalHolder {
    std::unique_ptr<TRepEvEnvironment> Environment;
    TGlobalHolder() : Environment(std::make_unique<TRepEvEnvironment>())
    {
        globalEnvironment = Environment.get();
        const TDateTime now = RepExprNow();
        Environment->DefineVariable(QStringLiteral("AppStartTime"), u'\'' + TimeToStr(now) + u'\'');
        Environment->DefineVariable(QStringLiteral("AppStartDate"), u'\'' + DateToStr(now) + u'\'');
        Environment->DefineVariable(QStringLiteral("AppName"), u'\'' + QCoreApplication::applicationName() + u'\'');
    }
    ~TGlobalHolder()
    {
        Environment.reset();
        globalFreed = true;
    }
};

} // namespace

TDateTime RepExprNow() { return Now(); }

void ReleaseGlobalUse(TRepEvEnvironment &global)
{
    if (!globalFreed)
        global.DiscardAll();
}

TRepEvEnvironment &GlobalEnvironment()
{
    static TGlobalHolder holder;
    return *holder.Environment;
}

TRepEvEnvironment::~TRepEvEnvironment() { Clear(); }

int TRepEvEnvironment::IndexOf(const QString &name) const
{
    const QString upper = AnsiUpperCase(name);
    for (size_t i = 0; i < variables_.size(); ++i)
        if (variables_[i].Name == upper)
            return int(i);
    return -1;
}

void TRepEvEnvironment::CompileVariable(TRepEvEmbeddedFunction &variable)
{
    variable.OwnEvaluator->SetDataSetList(GetDataSetList());
    variable.OwnEvaluator->LocalEnvironment = this;
    variable.OwnEvaluator->Compile(variable.ExpressionText);
}

void TRepEvEnvironment::DefineVariable(const QString &name, const QString &expression)
{
    if (IndexOf(name) >= 0)
        return;
    variables_.push_back(TVariable{AnsiUpperCase(name), std::make_unique<TRepEvEmbeddedFunction>(expression)});
    if (useCount_ > 0)
        CompileVariable(*variables_.back().Function);
}

void TRepEvEnvironment::DeleteVariable(const QString &name)
{
    const int index = IndexOf(name);
    if (index < 0)
        return;
    TDiscarding guard;
    variables_.erase(variables_.begin() + index);
}

bool TRepEvEnvironment::RenameVariable(const QString &name, const QString &newName)
{
    const int index = IndexOf(name);
    const int taken = IndexOf(newName);
    if (index < 0 || newName.trimmed().isEmpty() || (taken >= 0 && taken != index))
        return false;
    variables_[size_t(index)].Name = AnsiUpperCase(newName.trimmed());
    return true;
}

bool TRepEvEnvironment::SetVariableExpression(const QString &name, const QString &expression)
{
    const int index = IndexOf(name);
    if (index < 0 || useCount_ > 0)
        return false;
    variables_[size_t(index)].Function->ExpressionText = expression; // compiled afresh at the next use
    return true;
}

std::unique_ptr<TRepEvElement> TRepEvEnvironment::CreateVariableElement(const QString &name) const
{
    const int index = IndexOf(name);
    if (index < 0)
        return std::make_unique<TRepEvElementError>(RepExprText::UnknownFunction(name));
    return std::make_unique<TRepEvElementWrapper>(Variable(index));
}

TRepEvValue TRepEvEnvironment::GetVariableValue(const QString &name) const
{
    const int index = IndexOf(name);
    if (index < 0)
        return TRepEvValue::Error(RepExprText::UnknownFunction(name));
    TRepFiFo unused;
    return Variable(index)->ComputeValue(unused);
}

TRepEvElement *TRepEvEnvironment::GetVariableElement(const QString &name) const
{
    const int index = IndexOf(name);
    if (index < 0)
        return nullptr;
    const TRepFiFo *queue = Variable(index)->OwnEvaluator->Queue();
    return queue && queue->Count() > 0 ? queue->Element(0) : nullptr;
}

void TRepEvEnvironment::SetIntegerConstant(TRepEvElement *element, int32_t value)
{
    if (auto *constant = dynamic_cast<TRepEvElementConstant *>(element))
        constant->Value = TRepEvValue::Integer(value);
}

void TRepEvEnvironment::SetStringConstant(TRepEvElement *element, const QString &text)
{
    if (auto *literal = dynamic_cast<TRepEvElementString *>(element))
        literal->SetText(text);
}

void TRepEvEnvironment::SetConstantResult(TRepEvElement *element, const TRepEvValue &value)
{
    if (auto *constant = dynamic_cast<TRepEvElementConstant *>(element))
        constant->Value = value;
    else if (auto *literal = dynamic_cast<TRepEvElementString *>(element); literal && value.Kind == TRepEvKind::String)
        literal->SetText(value.Text);
}

void TRepEvEnvironment::CompileAll()
{
    if (useCount_++ > 0)
        return;
    // Indexes, not iterators: a variable's compile may define variables.
    for (size_t i = 0; i < variables_.size(); ++i)
        CompileVariable(*variables_[i].Function);
}

void TRepEvEnvironment::DiscardAll()
{
    if (this == globalEnvironment && discarding > 0)
        return;
    if (useCount_ == 0 || --useCount_ > 0)
        return;
    TDiscarding guard;
    for (TVariable &variable : variables_)
        variable.Function->OwnEvaluator->Discard();
}

void TRepEvEnvironment::Clear()
{
    TDiscarding guard;
    variables_.clear();
}

QStringList TRepEvEnvironment::StoredNames() const
{
    QStringList names;
    for (const TVariable &variable : variables_)
        names << variable.Name;
    return names;
}

QStringList TRepEvEnvironment::StoredExpressions() const
{
    QStringList expressions;
    for (const TVariable &variable : variables_)
        expressions << variable.Function->ExpressionText;
    return expressions;
}

void TRepEvEnvironment::LoadStored(const QStringList &names, const QStringList &expressions)
{
    Clear();
    for (qsizetype i = 0; i < names.size(); ++i) {
        variables_.push_back(TVariable{AnsiUpperCase(names[i]),
                                       std::make_unique<TRepEvEmbeddedFunction>(
                                           i < expressions.size() ? expressions[i] : QString())});
        if (useCount_ > 0)
            CompileVariable(*variables_.back().Function);
    }
}

} // namespace zorbel
