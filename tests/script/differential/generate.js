// Writes expected.txt: what Node.js computes for the document reads JsonObject offers, for a
// corpus of JSON documents. Run from this folder: node generate.js > expected.txt
//
// Node parses each document with its own JSON.parse and computes the reads with the same
// semantics as the snippets JsonObject evaluates:
//   plain text  x.toString()        (empty when x is null/undefined or the path fails)
//   JSON text   JSON.stringify(x)   (empty when undefined or the path fails)
//   type        0 null/undefined, 1 boolean, 2 number, 4 object, 5 array, 6 string, -1 failure
//   length      x.length for arrays, else 0
//   keys        enumerable names whose value is not a function, cut the way list results are
//   document    JSON.stringify of the whole document
// Every text is written as hex of its UTF-8 bytes; "-" stands for the empty list.
'use strict';

const corpus = [
  { doc: '{"a":{"b":[1,2,"x"]},"s":"t"}', paths: ['', 'a', 'a.b', 'a.b[2]', 's', 'a.c', 'x.y'] },
  { doc: '{"n":[1e21,1e-7,-0,0.1,123456789012345680000,5e-324,1.7976931348623157e308,-1.5,100]}',
    paths: ['n', 'n[0]', 'n[1]', 'n[2]', 'n[3]', 'n[4]', 'n[5]', 'n[6]', 'n[7]', 'n[8]'] },
  { doc: '{"sum":0.30000000000000004,"max":9007199254740992,"exp":1E+2,"neg":-0.0,"tiny":1e-400}',
    paths: ['sum', 'max', 'exp', 'neg', 'tiny'] },
  { doc: '{"zh":"中国","mixed":"金牌 gold 银","esc":"q\\"b\\\\s\\/t\\tn\\nr\\r","u":"\\u4e2d\\u6587",' +
         '"ctl":"\\u0001\\u001f\\u007f","astral":"\\ud83d\\ude00"}',
    paths: ['', 'zh', 'mixed', 'esc', 'u', 'ctl', 'astral'] },
  { doc: '[{"id":1,"tags":["a","b"]},{"id":2,"tags":[]},null,true,false,"s",[[]]]',
    paths: ['', '[0]', '[0].tags', '[1].tags', '[2]', '[3]', '[4]', '[5]', '[6]', '[7]', '[0].id'] },
  { doc: '{"":1,"a b":{"c":null},"key\\r\\nsplit":2,"last":{}}',
    paths: ['', '["a b"]', '["a b"].c', 'last', '[""]'] },
  { doc: '{"b":1,"a":2,"c":{"z":1,"y":2}}', paths: ['', 'c'] },
  { doc: '{"b":1,"2":2,"a":3,"1":4,"-1":5,"01":6}', paths: ['', '[2]', '["01"]'] },
  { doc: '{"data":{"total":3,"medalsList":[' +
         '{"countryname":"美国","countryid":"USA","gold":"40","silver":"44","bronze":"42","count":"126"},' +
         '{"countryname":"中国","countryid":"CHN","gold":40,"silver":27,"bronze":24,"count":91},' +
         '{"countryname":"","countryid":"","gold":"0"}]}}',
    paths: ['data.total', 'data.medalsList', 'data.medalsList[0]', 'data.medalsList[0].countryname',
            'data.medalsList[1].gold', 'data.medalsList[2].countryname', 'data.medalsList[3].countryname',
            'data.medalsList[1]'] },
  { doc: '[]', paths: ['', '[0]'] },
  { doc: '{}', paths: ['', 'a', 'a.b'] },
];

const hex = (s) => Buffer.from(s, 'utf8').toString('hex');

function resolve(root, path) {
  // The path is a member expression relative to the document; evaluate it the same way.
  const expr = path === '' ? 'da' : path[0] === '[' ? 'da' + path : 'da.' + path;
  return new Function('da', 'return ' + expr)(root);
}

function tag(x) {
  return Object.prototype.toString.call(x);
}

function splitList(text, sep) {
  if (text === '') return [];
  const pieces = text.split(sep);
  if (pieces[pieces.length - 1] === '') pieces.pop();
  return pieces;
}

function reads(root, path) {
  let x;
  try {
    x = resolve(root, path);
  } catch (e) {
    return { type: -1, length: 0, plain: '', json: '', keys: [] };
  }
  let type;
  if (x == null) type = 0;
  else type = { '[object String]': 6, '[object Array]': 5, '[object Object]': 4,
                '[object Number]': 2, '[object Boolean]': 1 }[tag(x)] ?? -1;
  const plain = x == null ? '' : x.toString();
  const json = JSON.stringify(x);
  let keys = [];
  if (tag(x) === '[object Object]') {
    const names = [];
    for (const k in x) if (typeof x[k] !== 'function') names.push(k);
    keys = splitList(names.join('\r\n'), '\r\n');
  }
  return { type, length: Array.isArray(x) ? x.length : 0, plain, json: json === undefined ? '' : json, keys };
}

const lines = [];
for (const { doc, paths } of corpus) {
  const root = JSON.parse(doc);
  lines.push(['D', hex(doc), hex(JSON.stringify(root))].join('\t'));
  for (const path of paths) {
    const r = reads(root, path);
    lines.push(['P', hex(path), String(r.type), String(r.length), hex(r.plain), hex(r.json),
                r.keys.length ? r.keys.map(hex).join(',') : '-'].join('\t'));
  }
}
process.stdout.write(lines.join('\n') + '\n');
