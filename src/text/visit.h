#pragma once
/// `Overloaded`, the set of lambdas that `std::visit` takes as one visitor. It depends
/// on nothing, so it sits in the lowest layer where every module can use it.

namespace tessiva {

/// A visitor made of lambdas: `std::visit(Overloaded{[](const A&) {...}, [](const B&)
/// {...}}, variant)`.
template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};

}  // namespace tessiva
