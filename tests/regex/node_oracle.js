// Reference results from ECMAScript's own RegExp, for the regex_object differential tests.
// Input, one case per line: flags (any of "g", "i", "m", or "-" for none), the pattern, the
// subject and the replacement, each as hex of its UTF-8, tab-separated ("-" for no replacement).
// Output, one line per case: "ERR" when RegExp rejects the pattern, otherwise "OK", then for
// every match a space and its texts (the match, then each group) joined by ",", each written
// as "x" plus hex of its UTF-8 or "-" for a group that did not take part; then "\t" and the
// replaced subject in the same form ("-" when no replacement was asked for).
'use strict';
const fs = require('fs');

const fromHex = (h) => Buffer.from(h === '-' ? '' : h, 'hex').toString('utf8');
const toHex = (s) => (s === undefined ? '-' : 'x' + Buffer.from(s, 'utf8').toString('hex'));

const out = [];
for (const line of fs.readFileSync(0, 'utf8').split('\n')) {
    if (!line)
        continue;
    const [flags, pattern, subject, replacement] = line.split('\t');
    let re;
    try {
        re = new RegExp(fromHex(pattern), flags === '-' ? '' : flags);
    } catch (e) {
        out.push('ERR');
        continue;
    }
    const text = fromHex(subject);
    const matches = re.global ? [...text.matchAll(re)] : [re.exec(text)].filter((m) => m !== null);
    let row = 'OK';
    for (const m of matches)
        row += ' ' + Array.from(m, toHex).join(',');
    re.lastIndex = 0;
    row += '\t' + (replacement === '-' ? '-' : toHex(text.replace(re, fromHex(replacement))));
    out.push(row);
}
process.stdout.write(out.join('\n') + '\n');
