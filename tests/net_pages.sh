# Sourced by the network end-to-end test and the CPU benchmark: writes the
# page 0 text of a network set-up: the test packet format (sync 0xEB90,
# checksum, time, 1-byte counter, 64 bytes), a 1 ms loop time, TCP and UDP
# port $1; $2 the rest of the [input] block, $3 the [output] block.
net_page0() {
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
	fixedpacketlength = 64
	ccsds = off

[system]
	diagnostics = off
	sound = off
	stepmode = off
	timeoutperiod = 0
	[tuning]
		looptime = 1
		autotune = off
		timings = off
	[input]
$2
		[network]
			tcpportno = $1
			udpportno = $1
	[output]
$3
PAGE
}
# The output block of a server with test data echoed to it.
net_server_output() {
    printf '\t\t[serial]\n\t\t\tenable = no\n\t\t\tcomport = 2\n\t\t\tbaud = 115200\n\t\t\tdatabits = 8\n'
    printf '\t\t\tstopbits = 1\n\t\t\tparity = "none"\n\t\t\techo = on\n\t\t[network]\n'
    [ -n "${2:-}" ] && printf '\t\t\ttcpprotocol = on\n'
    printf '\t\t\ttcpportno = %s\n' "$1"
}
