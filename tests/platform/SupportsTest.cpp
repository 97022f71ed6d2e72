#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "platform/SysTypes.h"

using namespace pel;

// Supports<T> must answer exactly what a cast of the object itself answers, however often the same
// classes are asked and whichever reference into an object the question starts from.
namespace {

struct IFirst : virtual IInterface {
  virtual int First() { return 1; }
};
struct ISecond : virtual IInterface {
  virtual int Second() { return 2; }
};
struct IThird : virtual IInterface {
  virtual int Third() { return 3; }
};

// Same interfaces in other orders and with data before them, so that each class puts them elsewhere.
template <int Pad>
struct TFirstSecond : IFirst, ISecond {
  char Padding[Pad * 8 + 1] = {};
};
template <int Pad>
struct TSecondFirst : ISecond, IFirst {
  char Padding[Pad * 8 + 1] = {};
};
struct TOnlyThird : IThird {};

// Two IFirst subobjects, each inside its own TMid: which TMid a cast finds depends on which IFirst the
// reference points to.
struct TMid : IFirst {
  int Tag = 0;
};
struct TLeft : TMid {};
struct TRight : TMid {};
struct TTwoMids : TLeft, TRight, ISecond {};

template <class TTo, class TFrom>
void ExpectSameAsCast(const std::shared_ptr<TFrom>& From, const char* What) {
  TTo* Expected = dynamic_cast<TTo*>(From.get());
  for (int Ask = 0; Ask < 2; ++Ask) {  // the second answer may come from what the first one kept
    std::shared_ptr<TTo> Got = Supports<TTo>(From);
    EXPECT_EQ(Got.get(), Expected) << What << ", ask " << Ask;
    if (Got) {
      EXPECT_FALSE(Got.owner_before(From) || From.owner_before(Got)) << What << ": shares the object";
    }
  }
}

}  // namespace

TEST(Supports, AnswersAsACastOfTheObjectAcrossManyClasses) {
  // More classes than the answers kept, asked in turns, so answers are dropped and asked again.
  std::vector<std::shared_ptr<IInterface>> Objects = {
      std::make_shared<TFirstSecond<0>>(), std::make_shared<TSecondFirst<0>>(), std::make_shared<TFirstSecond<1>>(),
      std::make_shared<TSecondFirst<1>>(), std::make_shared<TFirstSecond<2>>(), std::make_shared<TSecondFirst<2>>(),
      std::make_shared<TFirstSecond<3>>(), std::make_shared<TSecondFirst<3>>(), std::make_shared<TFirstSecond<4>>(),
      std::make_shared<TSecondFirst<4>>(), std::make_shared<TOnlyThird>(),        std::make_shared<TTwoMids>()};
  for (int Round = 0; Round < 3; ++Round) {
    for (const auto& Object : Objects) {
      ExpectSameAsCast<IFirst>(Object, "IFirst from IInterface");  // null for TTwoMids: two of them
      ExpectSameAsCast<ISecond>(Object, "ISecond from IInterface");
      ExpectSameAsCast<IThird>(Object, "IThird from IInterface");
      if (auto First = std::dynamic_pointer_cast<IFirst>(Object)) {
        ExpectSameAsCast<ISecond>(First, "ISecond from IFirst");
        ExpectSameAsCast<IThird>(First, "IThird from IFirst");
      }
      if (auto Second = std::dynamic_pointer_cast<ISecond>(Object)) ExpectSameAsCast<IFirst>(Second, "IFirst from ISecond");
    }
  }
}

TEST(Supports, TheSameClassAnswersByWhereTheReferencePoints) {
  auto Object = std::make_shared<TTwoMids>();
  static_cast<TLeft&>(*Object).Tag = 1;
  static_cast<TRight&>(*Object).Tag = 2;
  std::shared_ptr<IFirst> ViaLeft(Object, static_cast<TLeft*>(Object.get()));
  std::shared_ptr<IFirst> ViaRight(Object, static_cast<TRight*>(Object.get()));
  for (int Round = 0; Round < 3; ++Round) {
    ASSERT_NE(Supports<TMid>(ViaLeft), nullptr);
    ASSERT_NE(Supports<TMid>(ViaRight), nullptr);
    EXPECT_EQ(Supports<TMid>(ViaLeft)->Tag, 1);
    EXPECT_EQ(Supports<TMid>(ViaRight)->Tag, 2);
    EXPECT_EQ(Supports<ISecond>(ViaLeft).get(), Supports<ISecond>(ViaRight).get());
    EXPECT_NE(Supports<ISecond>(ViaLeft), nullptr);
  }
}

TEST(Supports, NullAndMissingInterfacesAnswerNull) {
  EXPECT_EQ(Supports<IFirst>(std::shared_ptr<IInterface>()), nullptr);
  std::shared_ptr<IInterface> Third = std::make_shared<TOnlyThird>();
  EXPECT_EQ(Supports<IFirst>(Third), nullptr);
  EXPECT_EQ(Supports<IFirst>(Third), nullptr);
  EXPECT_NE(Supports<IThird>(Third), nullptr);
}
