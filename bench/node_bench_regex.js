// Node's RegExp over the page bench_regex dumps: one pass collecting every match of the
// hot-search entry pattern (ignore case, multi-line, global, as the refresh runs it), then the
// ten (title, key) reads. Prints the mean and median wall time per pass and the mean CPU time
// (user + system), which is what Google Benchmark's "CPU" column reports for bench_regex.
//   node bench/node_bench_regex.js /tmp/page.html [iterations]
'use strict';
const fs = require('fs');

const page = fs.readFileSync(process.argv[2], 'utf8');
const iterations = Number(process.argv[3] || 2000);
const source = 'weibo\\?q=(.*?)" target="_blank">(.*?)</a>';

let sink = 0;
function pass() {
    const re = new RegExp(source, 'gim');
    const matches = [...page.matchAll(re)];
    for (let k = 0; k < 10 && k < matches.length; ++k)
        sink += matches[k][2].length + matches[k][1].length;
    return matches.length;
}

for (let i = 0; i < 200; ++i)
    pass(); // warm up the JIT
const times = [];
let count = 0;
const cpuBefore = process.cpuUsage();
for (let i = 0; i < iterations; ++i) {
    const start = process.hrtime.bigint();
    count = pass();
    times.push(Number(process.hrtime.bigint() - start) / 1000);
}
const cpu = process.cpuUsage(cpuBefore);
const cpuPerPass = (cpu.user + cpu.system) / iterations;
times.sort((a, b) => a - b);
const mean = times.reduce((a, b) => a + b, 0) / times.length;
console.log(`node ${process.version}: ${count} matches over ${Buffer.byteLength(page, 'utf8')} UTF-8 bytes; ` +
            `wall mean ${mean.toFixed(1)} us, median ${times[times.length >> 1].toFixed(1)} us; ` +
            `CPU ${cpuPerPass.toFixed(1)} us per pass (sink ${sink})`);
