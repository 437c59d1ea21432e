# Reads apt-get's answers for scripts/setup.sh (sourced; tests/scripts/apt_answer_test.sh feeds it
# recorded answers). Each function takes the file apt-get's output (stdout and stderr) went to.

# The index files `apt-get update` could not fetch, one URL a line (none when every index came).
apt_failed_indexes() {
  sed -n -E 's/^[EW]: Failed to fetch ([^ ]+).*/\1/p' "$1"
}

# One line that says why `apt-get install` refused: the first unmet dependency, when apt named one,
# then apt's closing error. Blank lines and apt's advice around them are left out.
apt_refusal_reason() {
  local unmet error
  unmet=$(sed -n -E '/^The following packages have unmet dependencies:/{n;s/^ +//;s/ +/ /g;p;q}' "$1")
  error=$(grep -m1 -E '^E: ' "$1" | sed -E 's/^E: //; s/[.]$//')
  if [ -n "$unmet" ] && [ -n "$error" ]; then
    echo "$unmet ($error)"
  elif [ -n "$unmet$error" ]; then
    echo "$unmet$error"
  else
    echo "apt-get gave no reason (exit status ${2:-unknown})"
  fi
}

