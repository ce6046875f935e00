# The two commands a person needs: `make demo` and `make test`.
# Each installs what is missing first (Debian packages, Wine prefixes).
.PHONY: all setup demo test dist bench fuzz clean

all: dist

setup:
	@tools/setup.sh

demo: setup
	@tools/demo.sh

test: setup
	@tools/test.sh

dist: setup
	@tools/dist.sh

bench: setup
	@tools/bench.sh

# Seconds each fuzz target runs: `make fuzz FUZZ_SECONDS=600`.
FUZZ_SECONDS ?= 60
fuzz: setup
	@tools/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf build dist
