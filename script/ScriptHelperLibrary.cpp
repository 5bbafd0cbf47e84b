#include "script/ScriptHelperLibrary.h"

#include <algorithm>

namespace velk {
namespace {

// Written over several lines for reading; Source() joins them into the one line the engines
// receive, so every statement ends with a semicolon and no literal spans a line break.
//
// First half: the helpers the document operations call by name.
// - get__nodeValue visits only objects and arrays: a for-in over a string primitive would walk
//   its characters, and a leaf value has no members to collect.
// - get__extend replaces a number member like a string or boolean one and fills a null member
//   with the source value; merging into either would otherwise stop the merge half-way with a
//   script error.
//
// Second half: JSON support. Every definition is guarded so an engine that has its own JSON,
// JSON.stringify, JSON.parse or Date.prototype.toJSON keeps it; everything but JSON and the
// prototype members lives inside one function scope.
constexpr const char* kLibrary = R"JS(
function get__nodeValue(str_json, recursion) {
  var t = typeof str_json;
  if (str_json === null || (t !== 'object' && t !== 'function')) { return str_all; }
  for (var i in str_json) {
    var tag = Object.prototype.toString.call(str_json[i]);
    if (tag === '[object Object]' || tag === '[object Array]') {
      if (recursion) { get__nodeValue(str_json[i], recursion); }
    } else if (tag === '[object String]' || tag === '[object Number]' || tag === '[object Boolean]') {
      str_all.push(str_json[i]);
    }
  }
  return str_all;
}
function get__count(c) {
  return Object.prototype.toString.call(c) === '[object Array]' ? c.length : 0;
}
function get__name_All(a) {
  if (Object.prototype.toString.call(a) !== '[object Object]') { return ''; }
  var names = [];
  for (var key in a) {
    if (typeof a[key] !== 'function') { names.push(key); }
  }
  return names.join('\r\n');
}
function get__extend(target, source) {
  if (Object.prototype.toString.call(target) === '[object Array]') {
    var n = source === null || source === undefined ? 0 : source.length;
    for (var i = 0; i < n; i++) { target.push(source[i]); }
    return target;
  }
  for (var obj in source) {
    var t = typeof target[obj];
    if (t === 'string' || t === 'boolean' || t === 'undefined' || t === 'number' || target[obj] === null) {
      target[obj] = source[obj];
    } else if (t === 'object') {
      target[obj] = get__extend(target[obj], source[obj]);
    }
  }
  return target;
}
(function (global) {
  var toTag = Object.prototype.toString;
  var hasOwn = Object.prototype.hasOwnProperty;
  function hex4(c) { return '\\u' + ('0000' + c.charCodeAt(0).toString(16)).slice(-4); }
  function two(n) { return n < 10 ? '0' + n : String(n); }
  if (typeof global.JSON !== 'object') { global.JSON = {}; }
  if (typeof Date.prototype.toJSON !== 'function') {
    Date.prototype.toJSON = function (key) {
      return isFinite(this.valueOf())
        ? this.getUTCFullYear() + '-' + two(this.getUTCMonth() + 1) + '-' + two(this.getUTCDate()) +
          'T' + two(this.getUTCHours()) + ':' + two(this.getUTCMinutes()) + ':' + two(this.getUTCSeconds()) + 'Z'
        : null;
    };
    String.prototype.toJSON = Number.prototype.toJSON = Boolean.prototype.toJSON = function (key) {
      return this.valueOf();
    };
  }
  var escapable = /[\\"\u0000-\u001f\u007f-\u009f\u00ad\u0600-\u0604\u070f\u17b4\u17b5\u200c-\u200f\u2028-\u202f\u2060-\u206f\ufeff\ufff0-\uffff]/g;
  var shortEscapes = { '\b': '\\b', '\t': '\\t', '\n': '\\n', '\f': '\\f', '\r': '\\r', '"': '\\"', '\\': '\\\\' };
  function quote(s) {
    escapable.lastIndex = 0;
    if (!escapable.test(s)) { return '"' + s + '"'; }
    return '"' + s.replace(escapable, function (c) {
      var e = shortEscapes[c];
      return typeof e === 'string' ? e : hex4(c);
    }) + '"';
  }
  var gap, indent, rep;
  function str(key, holder) {
    var i, k, v, partial, mind = gap, value = holder[key];
    if (value && typeof value === 'object' && typeof value.toJSON === 'function') { value = value.toJSON(key); }
    if (typeof rep === 'function') { value = rep.call(holder, key, value); }
    if (value && typeof value === 'object') {
      var wrapped = toTag.call(value);
      if (wrapped === '[object String]' || wrapped === '[object Number]' || wrapped === '[object Boolean]') { value = value.valueOf(); }
    }
    switch (typeof value) {
    case 'string':
      return quote(value);
    case 'number':
      return isFinite(value) ? String(value) : 'null';
    case 'boolean':
      return String(value);
    case 'object':
      if (!value) { return 'null'; }
      gap += indent;
      partial = [];
      if (toTag.call(value) === '[object Array]') {
        for (i = 0; i < value.length; i += 1) { partial[i] = str(i, value) || 'null'; }
        v = partial.length === 0 ? '[]'
          : gap ? '[\n' + gap + partial.join(',\n' + gap) + '\n' + mind + ']'
          : '[' + partial.join(',') + ']';
        gap = mind;
        return v;
      }
      if (rep && typeof rep === 'object') {
        for (i = 0; i < rep.length; i += 1) {
          if (typeof rep[i] === 'string') {
            k = rep[i];
            v = str(k, value);
            if (v) { partial.push(quote(k) + (gap ? ': ' : ':') + v); }
          }
        }
      } else {
        for (k in value) {
          if (hasOwn.call(value, k)) {
            v = str(k, value);
            if (v) { partial.push(quote(k) + (gap ? ': ' : ':') + v); }
          }
        }
      }
      v = partial.length === 0 ? '{}'
        : gap ? '{\n' + gap + partial.join(',\n' + gap) + '\n' + mind + '}'
        : '{' + partial.join(',') + '}';
      gap = mind;
      return v;
    }
    return undefined;
  }
  if (typeof global.JSON.stringify !== 'function') {
    global.JSON.stringify = function (value, replacer, space) {
      var saved = [gap, indent, rep], i;
      try {
        gap = '';
        indent = '';
        if (typeof space === 'number') {
          for (i = 0; i < Math.min(10, space); i += 1) { indent += ' '; }
        } else if (typeof space === 'string') {
          indent = space.slice(0, 10);
        }
        rep = replacer;
        if (replacer && typeof replacer !== 'function' &&
            (typeof replacer !== 'object' || typeof replacer.length !== 'number')) {
          throw new Error('JSON.stringify');
        }
        return str('', { '': value });
      } finally {
        gap = saved[0];
        indent = saved[1];
        rep = saved[2];
      }
    };
  }
  var dangerous = /[\u0000\u00ad\u0600-\u0604\u070f\u17b4\u17b5\u200c-\u200f\u2028-\u202f\u2060-\u206f\ufeff\ufff0-\uffff]/g;
  var validEscape = /\\(?:["\\\/bfnrt]|u[0-9a-fA-F]{4})/g;
  var simpleToken = /"[^"\\\n\r]*"|true|false|null|-?\d+(?:\.\d+)?(?:[eE][+\-]?\d+)?/g;
  var openBrackets = /(?:^|:|,)(?:\s*\[)+/g;
  var onlyStructure = /^[\],:{}\s]*$/;
  if (typeof global.JSON.parse !== 'function') {
    global.JSON.parse = function (text, reviver) {
      function walk(holder, key) {
        var k, v, value = holder[key];
        if (value && typeof value === 'object') {
          for (k in value) {
            if (hasOwn.call(value, k)) {
              v = walk(value, k);
              if (v !== undefined) { value[k] = v; } else { delete value[k]; }
            }
          }
        }
        return reviver.call(holder, key, value);
      }
      text = String(text);
      dangerous.lastIndex = 0;
      if (dangerous.test(text)) { text = text.replace(dangerous, hex4); }
      var skeleton = text.replace(validEscape, '@').replace(simpleToken, ']').replace(openBrackets, '');
      if (!onlyStructure.test(skeleton)) { throw new SyntaxError('JSON.parse'); }
      var result = eval('(' + text + ')');
      return typeof reviver === 'function' ? walk({ '': result }, '') : result;
    };
  }
  if (!Object.prototype.toJSONString) {
    Object.prototype.toJSONString = function (filter) { return JSON.stringify(this, filter); };
    Object.prototype.parseJSON = function (filter) { return JSON.parse(this, filter); };
  }
})(this);
)JS";

} // namespace

const Text& ScriptHelperLibrary::Source() {
    static const Text source = [] {
        Text text(kLibrary);
        std::replace(text.begin(), text.end(), '\n', ' ');
        return text;
    }();
    return source;
}

} // namespace velk
