.PHONY: demo test build bench sanitize fuzz largest clean

demo:        ## build and run examples/demo.py
	scripts/demo.sh

test:        ## build, then every C++ unit test (CTest) and every Python test (pytest)
	scripts/test.sh

build:
	scripts/build.sh

bench:       ## velquin against the peers (ARGS='--quick', '--only qiskit', ...); benchmarks/results/latest.md
	benchmarks/run.sh $(ARGS)

sanitize:    ## the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer
	scripts/sanitize.sh

fuzz:        ## the libFuzzer targets, 60 s each (needs clang)
	scripts/fuzz.sh 60

largest:     ## 30 qubits end to end, with peak memory (needs about 17 GiB free)
	scripts/largest_register.sh

clean:
	rm -rf build dist
