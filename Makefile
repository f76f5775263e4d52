.PHONY: demo test build bench clean

demo:
	scripts/demo.sh

test:
	scripts/test.sh

build:
	scripts/build.sh

bench:
	benchmarks/run.sh

clean:
	rm -rf build dist
