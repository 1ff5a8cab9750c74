// The filter-expression parser: turns a dataset's Filter text into an
// expression tree that the datasets evaluate record by record.
//
// Syntax, loosest binding first:
//   OR;  AND;  NOT;  comparisons = <> < > <= >= LIKE, IS [NOT] NULL,
//   IN ( list );  + -;  * /;  operands.
// Operands: field names (a letter, "_" or non-ASCII letter, then name
// characters; or any text in [brackets]), 'strings' ('' is a quote), numbers
// with the decimal comma, ( expressions ), unary minus, and the functions
// UPPER LOWER SUBSTRING TRIM TRIMLEFT TRIMRIGHT GETDATE YEAR MONTH DAY HOUR
// MINUTE SECOND DATE TIME. Keywords ignore case; /* comments */ are skipped.
//
// Rewrites made while parsing:
//   - a constant compared with a field takes the field's type and size
//     ('100' against a Float field becomes the Float 100);
//   - a constant on the left of a comparison with a field goes to the right
//     with the operator mirrored (2005 < y becomes y > 2005);
//   - field = NULL becomes an is-blank node, field <> NULL a not-blank node;
//   - =, <> and LIKE of a field with a non-empty string constant become a
//     compare node when the options hold foCaseInsensitive, or when the
//     constant ends in "*", is longer than one character and the options
//     lack foNoPartialCompare: the "*" is dropped and the partial length is
//     what remains.
#pragma once

#include "platform/dataset/DBTypes.h"
#include "platform/rtl/Variant.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace zorbel {

class TDataSet;

// Node classes, with the numbers of the engine's filter format.
enum class TNodeClass {
    nodeNULL = 0,     // no value
    nodeUNARY = 1,    // Operator applied to Left
    nodeBINARY = 2,   // Left Operator Right
    nodeCOMPARE = 3,  // string compare with CaseInsensitive and PartialLength
    nodeFIELD = 4,    // a field of the dataset
    nodeCONST = 5,    // a constant of DataType
    nodeTUPLE = 6,
    nodeCONTINUE = 7,
    nodeUDF = 8,
    nodeLIST = 9,
    nodeFUNC = 10,    // FunctionName applied to the list element node in Left
    nodeLISTELEM = 11 // Elements, in order
};
using enum TNodeClass;

// Operators, with the numbers of the engine's filter format.
enum class TCanOp {
    coNOTDEFINED = 0, coISBLANK = 1, coNOTBLANK = 2, coEQ = 3, coNE = 4, coGT = 5, coLT = 6,
    coGE = 7, coLE = 8, coNOT = 9, coAND = 10, coOR = 11, coFIELD2 = 13, coCONST2 = 14,
    coMINUS = 15, coADD = 16, coSUB = 17, coMUL = 18, coDIV = 19, coMOD = 20, coREM = 21,
    coLIKE = 30, coIN = 31, coUPPER = 33, coLOWER = 34, coFUNC2 = 35, coLISTELEM2 = 36
};
using enum TCanOp;

struct TExprNode {
    TNodeClass NodeClass = nodeNULL;
    TCanOp Operator = coNOTDEFINED;
    // Operands of unary, binary and compare nodes; the argument list of a
    // function node (nullptr when called without arguments).
    std::unique_ptr<TExprNode> Left;
    std::unique_ptr<TExprNode> Right;
    // Compare nodes: 1 = compare ignoring case; > 0 = compare that many
    // leading characters.
    bool CaseInsensitive = false;
    int PartialLength = 0;
    // Field nodes: the field's name, number and type (type after the map).
    QString FieldName;
    int FieldNo = 0;
    // Field and constant nodes: the data type; constants also the size.
    TFieldType DataType = ftUnknown;
    int Size = 0;
    // Constant nodes: the value, of the variant kind of DataType (String:
    // text; Smallint, Integer, Word: integer; Largeint: Int64; Float: double;
    // Boolean; Date, Time, DateTime: date).
    Variant Value;
    // Function nodes: the name in capitals.
    QString FunctionName;
    // List element nodes: the elements.
    std::vector<std::unique_ptr<TExprNode>> Elements;
};

enum class TParserOption { poExtSyntax, poAggregate, poDefaultExpr, poUseOrigNames, poFieldNameGiven, poFieldDepend };
using enum TParserOption;
using TParserOptions = TSet<TParserOption>;

class TExprParser {
public:
    // Maps a field type to the type code that field nodes and constants carry.
    using TFieldMap = std::function<TFieldType(TFieldType)>;

    // Parses text for dataSet (whose fields give names and types; may be
    // nullptr, then names stay untyped). Raises EDatabaseError with the
    // parser's messages for malformed text, and "Field '%s' not found" for an
    // unknown field name.
    TExprParser(TDataSet *dataSet, const QString &text, TFilterOptions options = {},
                TParserOptions parserOptions = {poExtSyntax}, TFieldMap fieldMap = nullptr);
    TExprParser(const TExprParser &) = delete;
    TExprParser &operator=(const TExprParser &) = delete;

    const TExprNode *Root() const { return root_.get(); }
    std::unique_ptr<TExprNode> TakeRoot() { return std::move(root_); }

private:
    std::unique_ptr<TExprNode> root_;
};

// Writes the tree as text, e.g. "(y > 2005:Smallint)" — for tests and
// diagnostics.
QString ExprNodeToString(const TExprNode *node);

} // namespace zorbel
