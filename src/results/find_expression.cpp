#include "results/find_expression.h"

#include <string>

#include "support/text.h"
#include "support/tokens.h"

namespace sondrel {
namespace {

constexpr std::string_view kFindDelimiters = "()+- ";
constexpr std::size_t kMaxToken = kMaxFindText + 1;
// Deeper nesting than a find text can hold is read as plain text.
constexpr int kMaxNesting = 200;

enum class Op { kNone, kAnd, kOr, kAndNot };

class Evaluator {
 public:
  Evaluator(std::string_view text, std::string_view expression)
      : text_(text), expression_(expression) {
    Next();
  }

  bool Expression(int depth) {
    bool value = Operand(depth);
    for (Op op = OperatorOf(); op != Op::kNone; op = OperatorOf()) {
      Next();
      if (op == Op::kAnd && IsWord("NOT")) {
        op = Op::kAndNot;
        Next();
      }
      if (kind_ == QueryTokenEnd) return value;
      const bool b = Operand(depth);
      switch (op) {
        case Op::kAnd:
          value = value && b;
          break;
        case Op::kOr:
          value = value || b;
          break;
        case Op::kAndNot:
          value = value && !b;
          break;
        case Op::kNone:
          break;
      }
    }
    // Any other token ends this level: two operands in a row count as the first alone.
    return value;
  }

 private:
  bool Operand(int depth) {
    if (kind_ == QueryTokenDelimiter && token_ == "(" && depth < kMaxNesting) {
      Next();
      const bool value = Expression(depth + 1);
      Next();  // the token that ended the group, normally ")"
      return value;
    }
    const bool value = !token_.empty() && BufFind(text_, token_, false) >= 0;
    Next();
    return value;
  }

  bool IsWord(std::string_view word) const {
    const bool plain =
        kind_ == QueryTokenWord || kind_ == QueryTokenNumber || kind_ == QueryTokenLast;
    return plain && EqualsNoCase(token_, word);
  }

  Op OperatorOf() const {
    if (kind_ == QueryTokenDelimiter) {
      if (token_ == "+") return Op::kAnd;
      if (token_ == "-") return Op::kAndNot;
      return Op::kNone;
    }
    if (IsWord("AND")) return Op::kAnd;
    if (IsWord("OR")) return Op::kOr;
    if (IsWord("NOT")) return Op::kAndNot;
    return Op::kNone;
  }

  void Next() { kind_ = NextQueryToken(token_, kMaxToken, expression_, pos_, kFindDelimiters); }

  std::string_view text_;
  std::string_view expression_;
  std::size_t pos_ = 0;
  std::string token_;
  int kind_ = QueryTokenEnd;
};

}  // namespace

bool FindExpression(std::string_view text, std::string_view expression) {
  Evaluator evaluator(text, expression);
  return evaluator.Expression(0);
}

}  // namespace sondrel
