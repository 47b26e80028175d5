# Each skipped test with its reason, from a log in which each test's output
# follows a line "N/M Test: <name>" (CTest's LastTest.log, or the
# unprivileged pass's outputs put so). GoogleTest prints "<file>:<line>:
# Skipped", the reason's lines, then "[  SKIPPED ] <test>". Prints, with
# `who` before it, "N skipped, with their reasons:" and a line for each.
/^[0-9]+\/[0-9]+ Test: / { name = $3; reason = ""; within = 0; next }
/:[0-9]+: Skipped$/ { within = 1; next }
within && /^\[  SKIPPED \] / {
  skipped[++count] = name ": " (reason == "" ? "(no reason given)" : reason)
  within = 0; next
}
within && NF { reason = reason (reason == "" ? "" : " ") $0 }
END {
  if (count == 0) exit
  print who ": " count " skipped, with their reasons:"
  for (i = 1; i <= count; ++i) print "  " skipped[i]
}
