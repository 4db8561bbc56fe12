# Sourced by the serial end-to-end test and the CPU benchmark: writes the
# page 0 text of a serial set-up: packets of $1 bytes in the demo's format
# (sync 0xEB90, checksum, time, 1-byte counter), COM1 the input and COM2
# the echo output at 115200 baud, timeout period $2 s, loop time $3 ms.
serial_page0() {
    cat > PAGE0000.TXT <<PAGE
[packet]
	[sync]
		length = 16
		pattern = 0xEB90
		mask = 0xFFFF
		reportsyncloss = on
	sumcheck = on
	time = on
	packetcounterlength = 1
	fixedpacketlength = $1
	ccsds = off

[system]
	diagnostics = off
	sound = off
	stepmode = off
	timeoutperiod = $2
	[tuning]
		looptime = $3
		autotune = off
		timings = off
	[input]
		[serial]
			enable = yes
			comport = 1
			baud = 115200
			databits = 8
			stopbits = 1
			parity = "none"
			bufsize = 16384
	[output]
		[serial]
			enable = yes
			comport = 2
			baud = 115200
			databits = 8
			stopbits = 1
			parity = "none"
			bufsize = 16384
			echo = on
PAGE
}
