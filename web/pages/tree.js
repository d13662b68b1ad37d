// Folding menu tree: a click on a folder opens or closes it; a click on a
// page marks it as the current one.
function treeToggle(item) {
    if (/\bopen\b/.test(item.className)) {
        item.className = item.className.replace(/\s*\bopen\b/, "");
    } else {
        item.className += " open";
    }
}

function treeSelect(link, root) {
    var links = root.getElementsByTagName("a");
    for (var i = 0; i < links.length; i++) {
        links[i].className = links[i].className.replace(/\s*\bcurrent\b/, "");
    }
    link.className += " current";
}

function treeInit(id) {
    var root = document.getElementById(id);
    if (!root) return;
    var links = root.getElementsByTagName("a");
    for (var i = 0; i < links.length; i++) {
        var link = links[i];
        if (/\bfold\b/.test(link.className)) {
            link.onclick = function () {
                treeToggle(this.parentNode);
                return false;
            };
        } else {
            link.onclick = function () {
                treeSelect(this, root);
                return true;
            };
        }
    }
}
