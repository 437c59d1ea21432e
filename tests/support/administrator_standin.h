// Stands for a user without administrator rights, whom Wine cannot make (every user of a prefix is
// one). A test program that lists administrator_standin.cpp among its sources links its definition
// of velmor::user_is_admin instead of the engine's (win/administrator.cpp); the program's other
// tests keep the real answer.
#pragma once

namespace wine_test {

// While one lives, the engine sees a user without administrator rights.
class not_an_administrator {
 public:
  not_an_administrator();
  ~not_an_administrator();
  not_an_administrator(const not_an_administrator&) = delete;
  not_an_administrator& operator=(const not_an_administrator&) = delete;
};

}  // namespace wine_test
